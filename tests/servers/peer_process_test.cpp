#include "PeerProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
using vn::test::PeerProcess;

namespace {

bool processGone(pid_t pid) { return access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0; }

// Runs `script` with /bin/sh in the process's folder, output to out.log.
bool launchShell(PeerProcess& process, const std::string& script) {
    const std::string sh = "/bin/sh";
    return process.launch(process.folder() / "out.log", [&] {
        execl(sh.c_str(), "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
    }) == PeerProcess::Launch::Started;
}

TEST(PeerProcess, MakesAReachableFolderAndRemovesItWhenFinished) {
    std::filesystem::path folder;
    {
        PeerProcess process("peertest");
        folder = process.folder();
        ASSERT_FALSE(folder.empty());
        EXPECT_EQ(folder.filename().string().rfind("vn-peertest-", 0), 0u) << folder;
        struct stat st {};
        ASSERT_EQ(stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0755u);
        process.finish("peer", "peer", [] { return std::string(); });
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(PeerProcess, ReportsHowAnEarlyExitEndedAndWhatItWrote) {
    // Not close-on-exec: the launch itself has to keep it from the child.
    const int leaked = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    struct Case {
        std::string script;
        int exitCode;
        const char* output;
    };
    const Case cases[] = {
        {"echo out; echo err >&2; exit 3", 3, "out\nerr\n"},
        // Standard input is /dev/null: read ends at once.
        {"read x; echo \"got:$x\"; exit 4", 4, "got:\n"},
        {"if [ -e /proc/$$/fd/" + std::to_string(leaked) + " ]; then echo open; fi", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        PeerProcess process("peertest");
        ASSERT_TRUE(launchShell(process, c.script));
        ASSERT_GT(process.pid(), 0);
        auto waited = process.waitUntil(PeerProcess::Clock::now() + 10s, 5ms, [] { return false; });
        ASSERT_EQ(waited, PeerProcess::Wait::Exited);
        EXPECT_EQ(process.pid(), -1);
        ASSERT_TRUE(WIFEXITED(process.status()));
        EXPECT_EQ(WEXITSTATUS(process.status()), c.exitCode);
        EXPECT_EQ(PeerProcess::readText(process.folder() / "out.log"), c.output);
        process.finish("peer", "peer", [&] { return PeerProcess::readText(process.folder() / "out.log"); });
    }
    close(leaked);
}

TEST(PeerProcess, WaitEndsWhenReadyOrLate) {
    PeerProcess process("peertest");
    ASSERT_TRUE(launchShell(process, "echo up; exec sleep 60"));
    const auto ready = [&] { return PeerProcess::readText(process.folder() / "out.log") == "up\n"; };
    EXPECT_EQ(process.waitUntil(PeerProcess::Clock::now() + 10s, 5ms, ready), PeerProcess::Wait::Ready);
    const auto start = PeerProcess::Clock::now();
    EXPECT_EQ(process.waitUntil(start + 50ms, 5ms, [] { return false; }), PeerProcess::Wait::Late);
    EXPECT_GE(PeerProcess::Clock::now() - start, 50ms);
    EXPECT_GT(process.pid(), 0);
    process.finish("peer", "peer", [] { return std::string(); });
    EXPECT_EQ(process.pid(), -1);
}

TEST(PeerProcess, StopTakesEveryProcessItStarted) {
    PeerProcess process("peertest");
    // Children and a grandchild in a process group of its own.
    ASSERT_TRUE(launchShell(process, "sleep 60 & sleep 60 & setsid sh -c 'sleep 60 & wait' & wait"));
    std::vector<pid_t> pids;
    const auto allThere = [&] {
        pids = process.processes();
        return pids.size() >= 5;  // sh, its 2 sleeps, the setsid sh and its sleep
    };
    ASSERT_EQ(process.waitUntil(PeerProcess::Clock::now() + 10s, 5ms, allThere), PeerProcess::Wait::Ready)
        << pids.size() << " processes";
    process.stop();
    EXPECT_EQ(process.pid(), -1);
    EXPECT_TRUE(process.processes().empty());
    for (pid_t p : pids) EXPECT_TRUE(processGone(p)) << "pid " << p;
    process.finish("peer", "peer", [] { return std::string(); });
}

} // namespace
