#pragma once
// A window-less FTP engine for the transfer tests: records the log with its
// replaceable lines, the file gauge and the Smart Resume questions, and
// answers from scripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "../EngineFixture.h"
#include "FakeFtpServer.h"
#include "TestHome.h"
#include "common/Prompter.h"
#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/transfer/FileIo.h"
#include "ftp/engine/transfer/ResumeStore.h"
#include "ftp/engine/transfer/Transfer.h"

namespace vn::test {

class TransferSink : public RecordingSink {
public:
    using Answer = FtpSink::ResumeAnswer;

    std::uint64_t addReplaceableLine(const std::string& line) override {
        std::lock_guard l(m);
        lines.push_back(line);
        std::uint64_t h = ++lastHandle;
        handles[h] = lines.size() - 1;
        return h;
    }
    void replaceLine(std::uint64_t handle, const std::string& line) override {
        std::lock_guard l(m);
        auto it = handles.find(handle);
        ASSERT_NE(it, handles.end()) << "unknown line handle " << handle;
        lines[it->second] = line;
        ++replacements;
    }
    void fileProgress(std::uint64_t done, std::uint64_t total) override {
        std::function<void(std::uint64_t, std::uint64_t)> hook;
        {
            std::lock_guard l(m);
            progress.emplace_back(done, total);
            hook = onProgress;
        }
        if (hook) hook(done, total);
    }
    Answer askSmartResume(const std::string& localPath) override {
        std::lock_guard l(m);
        resumeAsked.push_back(localPath);
        if (resumeAnswers.empty()) {
            ADD_FAILURE() << "unexpected Smart Resume question for " << localPath;
            return Answer::DontTransfer;
        }
        Answer a = resumeAnswers.front();
        resumeAnswers.pop_front();
        return a;
    }

    std::string dump() const {
        std::string all;
        for (const auto& l : log()) all += l + "\n";
        return all;
    }
    void clear() {
        std::lock_guard l(m);
        lines.clear();
        handles.clear();
        progress.clear();
        resumeAsked.clear();
    }

    std::map<std::uint64_t, std::size_t> handles;
    std::uint64_t lastHandle = 0;
    int replacements = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    std::function<void(std::uint64_t, std::uint64_t)> onProgress;
    std::deque<Answer> resumeAnswers;
    std::vector<std::string> resumeAsked;
};

// Aborts the engine's wait from another thread, the way the window's Abort
// button does, once the gauge has shown at least `after` bytes. The engine
// thread waits in the progress callback until the abort has happened, so the
// point of the abort is exact.
class AbortAfter {
public:
    AbortAfter(TransferSink& sink, EventWait& wait, std::uint64_t after) : sink_(sink) {
        aborter_ = std::thread([this, &wait] {
            std::unique_lock l(m_);
            cv_.wait(l, [this] { return due_ || quit_; });
            if (!due_) return;
            wait.abort();
            done_ = true;
            cv_.notify_all();
        });
        sink.onProgress = [this, after](std::uint64_t d, std::uint64_t) {
            if (d < after) return;
            std::unique_lock l(m_);
            if (due_) return;
            due_ = true;
            seenAt = d;
            cv_.notify_all();
            cv_.wait(l, [this] { return done_; });
        };
    }
    ~AbortAfter() {
        {
            std::lock_guard l(m_);
            quit_ = true;
            cv_.notify_all();
        }
        aborter_.join();
        sink_.onProgress = nullptr;
    }
    bool fired() {
        std::lock_guard l(m_);
        return done_;
    }
    std::uint64_t seenAt = 0;

private:
    TransferSink& sink_;
    std::thread aborter_;
    std::mutex m_;
    std::condition_variable cv_;
    bool due_ = false, done_ = false, quit_ = false;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::filesystem::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << data;
}

// Deterministic bytes that are never all zero and don't repeat in short periods.
inline std::string patternBytes(std::size_t n, std::uint32_t seed = 1) {
    std::string s(n, '\0');
    std::uint32_t x = seed * 2654435761u + 12345;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(x);
    }
    return s;
}

// What an interrupted upload of the file as it stands leaves.
inline void recordUpload(const std::string& path, const std::string& remote, std::uint64_t marker) {
    FileStamp st;
    ASSERT_TRUE(stampOfPath(path, st));
    ResumeRecord r{"STOR", "127.0.0.1", path, remote, marker, {}, {}, st.id(), st.mtime()};
    ASSERT_TRUE(ResumeStore().put(r, todayLocal()));
}
// What an interrupted download leaves: its partial file beside the
// target and the record naming it (withTime false: the program stopped
// before it could note how far it got).
inline std::string leavePartial(const std::string& remote, const std::string& target, const std::string& bytes,
                                std::uint64_t marker, bool withTime = true) {
    std::string path;
    int fd = createSibling(target, FtpTransfer::kPartialSuffix, 0666, path);
    EXPECT_GE(fd, 0);
    EXPECT_TRUE(writeFully(fd, bytes));
    ::close(fd);
    FileStamp st;
    EXPECT_TRUE(stampOfPath(path, st));
    ResumeRecord r{"RETR", "127.0.0.1", remote, target, marker, {}, path, st.id(), withTime ? st.mtime() : ""};
    EXPECT_TRUE(ResumeStore().put(r, todayLocal()));
    return path;
}

// The sha256 of a file (sha256sum's hex digest).
inline std::string sha256Of(const std::filesystem::path& p) {
    std::string cmd = "sha256sum '" + p.string() + "' 2>/dev/null";
    std::string out;
    if (FILE* f = ::popen(cmd.c_str(), "r")) {
        char buf[128];
        while (std::fgets(buf, sizeof buf, f)) out += buf;
        ::pclose(f);
    }
    return out.substr(0, out.find(' '));
}
// The sha256 of bytes.
inline std::string sha256OfBytes(const std::string& bytes) {
    char tmpl[] = "/tmp/vn-sha-XXXXXX";
    int fd = ::mkstemp(tmpl);
    if (fd < 0) return {};
    writeFully(fd, bytes);
    ::close(fd);
    std::string h = sha256Of(std::filesystem::path(tmpl));
    ::unlink(tmpl);
    return h;
}

// The partial file a download into target left (the one its record names).
inline std::string partialOf(const std::string& target) {
    for (const auto& r : ResumeStore().records())
        if (r.type == "RETR" && r.destination == target) return r.partial;
    return {};
}

// An engine and its transfers on the test thread, reporting to Sink.
template <class Sink>
struct TransferFixtureT : ::testing::Test {
    Sink sink;
    PlainPrompter prompter;
    FtpEngine engine{sink, prompter};
    FtpTransfer transfer{engine};

    void SetUp() override {
        configure({});
        transfer.setProgressInterval(std::chrono::milliseconds(0));
    }
    void configure(FtpSettings s) {
        engine.applySettings(s);
        engine.wait().lowerCancel();
    }
    static ConnectParams params(uint16_t port, bool passive, std::string login = "user", std::string password = "pw") {
        ConnectParams p;
        p.host = "127.0.0.1";
        p.port = port;
        p.passive = passive;
        p.login = std::move(login);
        p.password = std::move(password);
        return p;
    }
    std::vector<ResumeRecord> restRecords() const { return ResumeStore().records(); }
};
using TransferFixture = TransferFixtureT<TransferSink>;

} // namespace vn::test
