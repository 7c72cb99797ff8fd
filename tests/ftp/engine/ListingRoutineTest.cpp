// Every listing (the file list, the folder copy's enumeration, the recursive
// delete's walk) goes through one routine in the session's data mode, and a
// refused PORT or PASV ends the step. Also the "REST 0" probe's answer.
#include "EngineFixture.h"

#include <functional>
#include <thread>
#include <sys/resource.h>

#include <fstream>

namespace vn::test {
namespace {

using namespace std::chrono_literals;

const std::string kListing =
    "drwxr-xr-x   2 ftp ftp 4096 Jan  5 10:00 sub\r\n"
    "-rw-r--r--   1 ftp ftp 1234 Mar  1  2001 f.txt\r\n";

struct Walk {
    const char* name;
    // True when the listing step gave what the folder holds.
    std::function<bool(FtpEngine&, SessionId)> run;
};

const std::vector<Walk>& walks() {
    static const std::vector<Walk> w = {
        {"file list", [](FtpEngine& e, SessionId id) { return e.fesLIST(id, "/a", false).has_value(); }},
        {"copy enumeration", [](FtpEngine& e, SessionId id) { return e.FindLIST(id, "/a").has_value(); }},
        {"recursive delete", [](FtpEngine& e, SessionId id) { return e.EsborrarDirectoriRemot(id, "/a"); }},
    };
    return w;
}

struct Routine : EngineFixture {
    std::unique_ptr<FakeFtpServer> server;
    SessionId connect(bool passive) {
        ConnectParams p = params(server->port());
        p.passive = passive;
        auto id = engine.ConnectarAServidor(p);
        EXPECT_TRUE(id);
        return id.value_or(0);
    }
    // The commands after the login's probe, PORT without its numbers.
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        bool after = false;
        for (const auto& c : server->commands()) {
            if (c.rfind("REST 0", 0) == 0) {
                after = true;
                continue;
            }
            if (after) out.push_back(c.rfind("PORT ", 0) == 0 ? "PORT" : c);
        }
        return out;
    }
    void SetUp() override {
        FtpSettings s;
        s.RxTOut = s.CxTOut = s.TxTOut = 10; // a script gone wrong fails soon
        configure(s);
    }
    // The login's own steps, then (for the delete) the refused first RMD.
    void script(const std::string& walk) {
        server->reply("PWD", "257 \"/\" is the current directory.\r\n").reply("REST 0", "350 Restarting at 0.\r\n");
        if (walk == "recursive delete") server->reply("RMD /a", "550 Not empty.\r\n");
        server->onList(kListing)
            .on("RMD", "250 Removed.\r\n")
            .on("DELE", "250 Deleted.\r\n");
    }
};

TEST_F(Routine, APassiveSessionListsPassivelyEverywhere) {
    for (const auto& w : walks()) {
        SCOPED_TRACE(w.name);
        server = FakeFtpServer::loginScript();
        // Behind NAT: PORT is refused, PASV works.
        server->dataPassive().on("PORT", "550 Permission denied.\r\n");
        script(w.name);
        SessionId id = connect(true);
        EXPECT_TRUE(w.run(engine, id));
        for (const auto& c : sent()) EXPECT_NE(c, "PORT");
        EXPECT_TRUE(std::find(sent().begin(), sent().end(), "LIST /a") != sent().end());
        engine.fesQUIT(id);
    }
}

TEST_F(Routine, ARefusedPortOrPasvEndsTheStep) {
    for (bool passive : {false, true}) {
        for (const auto& w : walks()) {
            SCOPED_TRACE(std::string(w.name) + (passive ? ", passive" : ", active"));
            server = FakeFtpServer::loginScript();
            server->on("PORT", "550 Permission denied.\r\n").on("PASV", "502 Not implemented.\r\n");
            script(w.name);
            SessionId id = connect(passive);
            sink.lines.clear();
            EXPECT_FALSE(w.run(engine, id));
            // Nothing follows the refusal: no TYPE, no LIST, no DELE of what was never listed.
            std::vector<std::string> expected;
            if (std::string(w.name) == "recursive delete") expected.push_back("RMD /a");
            expected.push_back(passive ? "PASV" : "PORT");
            EXPECT_EQ(sent(), expected);
            EXPECT_FALSE(sink.anyStartsWith(">LIST"));
            engine.fesQUIT(id);
        }
    }
}

TEST_F(Routine, AFailedCopyEnumerationSaysSo) {
    server = FakeFtpServer::loginScript();
    server->on("PORT", "550 Permission denied.\r\n");
    SessionId id = connect(false);
    EXPECT_FALSE(engine.FindLIST(id, "/a"));
    EXPECT_TRUE(sink.has(">ERROR reading the folder /a; it was not copied."));
}

TEST_F(Routine, TypeAIsSentOnlyWhenTheTypeInForceDiffers) {
    server = FakeFtpServer::loginScript();
    server->dataPassive().onList(kListing);
    SessionId id = connect(true);
    ASSERT_TRUE(engine.fesLIST(id, "/", false));
    ASSERT_TRUE(engine.fesLIST(id, "/", false));
    ASSERT_TRUE(engine.fesTYPE(id, 'I'));
    ASSERT_TRUE(engine.fesLIST(id, "/", false));
    EXPECT_EQ(sent(), (std::vector<std::string>{"PASV", "TYPE A", "LIST /", "PASV", "LIST /", "TYPE I", "PASV",
                                                "TYPE A", "LIST /"}));
    // A TYPE sent past the engine leaves the type unknown.
    ASSERT_TRUE(engine.sendCommand(id, "type", "I"));
    engine.readReply(id);
    EXPECT_EQ(engine.typeInForce(id), std::nullopt);
}

// The first listing after login leaves TYPE A; a server that refuses REST in
// ASCII mode must still be found able to resume.
TEST_F(Routine, TheResumeProbeIsMadeInBinaryMode) {
    server = FakeFtpServer::loginScript();
    server->reply("PWD", "257 \"/\" is the current directory.\r\n")
        .reply("REST 0", "501 Resuming transfers not allowed in ASCII mode.\r\n");
    connect(false);
    EXPECT_TRUE(sink.has("-This Server can resume broken downloads."));
    EXPECT_FALSE(sink.has("-This Server can not resume broken downloads."));
    const auto all = server->commands();
    EXPECT_EQ(std::vector<std::string>(all.end() - 3, all.end()),
              (std::vector<std::string>{"REST 0", "TYPE I", "REST 0"}));
}

TEST_F(Routine, AnAsciiRefusalDuringATransferIsNoVerdict) {
    server = FakeFtpServer::loginScript();
    SessionId id = connect(false);
    server->on("REST 0", "501 Resuming transfers not allowed in ASCII mode.\r\n");
    sink.lines.clear();
    EXPECT_FALSE(engine.ComprobarREST(id));
    EXPECT_FALSE(sink.has("-This Server can not resume broken downloads."));
    EXPECT_EQ(engine.typeInForce(id), std::nullopt); // not switched behind the transfer's back

    server->on("REST 0", "502 Command not implemented.\r\n");
    EXPECT_FALSE(engine.ComprobarREST(id));
    EXPECT_TRUE(sink.has("-This Server can not resume broken downloads."));
}

// Peak resident memory above what the process held before (VmHWM after a reset).
long peakKiB() {
    std::ifstream in("/proc/self/status");
    for (std::string l; std::getline(in, l);)
        if (l.rfind("VmHWM:", 0) == 0) return std::stol(l.substr(6));
    return -1;
}
long residentKiB() {
    std::ifstream in("/proc/self/status");
    for (std::string l; std::getline(in, l);)
        if (l.rfind("VmRSS:", 0) == 0) return std::stol(l.substr(6));
    return -1;
}

TEST_F(Routine, AHugeListingCostsAboutItsOwnSize) {
    // 1,000 names of 65,000 characters: about 64 MiB.
    std::string listing;
    const std::string prefix = "-rw-r--r--   1 ftp ftp 1234 Mar  1  2001 ";
    listing.reserve(1000 * 65100);
    for (int i = 0; i < 1000; ++i) {
        std::string name(65000 - prefix.size() - 8, 'n');
        name += std::to_string(10000000 + i);
        listing += prefix + name + "\r\n";
    }
    const long sizeKiB = static_cast<long>(listing.size() / 1024);
    server = FakeFtpServer::loginScript();
    server->dataPassive().onList(listing);
    SessionId id = connect(true);
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
        if (!reset) GTEST_SKIP() << "the peak of resident memory can not be reset here";
    }
    const long before = residentKiB();
    auto entries = engine.fesLIST(id, "/", false);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1000u);
    const long extra = peakKiB() - before;
    // The fake server copies the listing it sends (one listing's worth); the
    // engine keeps the entries (another) and never the whole text besides.
    EXPECT_LT(extra, sizeKiB * 5 / 2) << "listing " << sizeKiB << " KiB";
}

} // namespace
} // namespace vn::test

namespace vn::test {
namespace {

// Each way a step can end is reported as such, not folded into one flag.
TEST_F(Routine, EachStepReportsItsOutcome) {
    struct Case {
        const char* name;
        std::function<void(FakeFtpServer&)> script;
        bool abort;
        Outcome expected;
    };
    const std::vector<Case> cases = {
        {"answered", [](FakeFtpServer& s) { s.on("SYST", "215 UNIX Type: L8\r\n"); }, false, Outcome::Done},
        {"refused", [](FakeFtpServer& s) { s.on("SYST", "500 No.\r\n"); }, false, Outcome::Done},
        {"silent", [](FakeFtpServer& s) { s.on("SYST", ""); }, false, Outcome::TimedOut},
        {"closed", [](FakeFtpServer& s) { s.onClose("SYST", ""); }, false, Outcome::PeerClosed},
        {"aborted", [](FakeFtpServer& s) { s.on("SYST", ""); }, true, Outcome::Aborted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server = FakeFtpServer::loginScript();
        c.script(*server);
        SessionId id = connect(false);
        // Sub-second time-outs: the durations are not whole seconds any more.
        engine.wait().setTimeouts({Timeouts::Duration(5000), Timeouts::Duration(5000), Timeouts::Duration(300)});
        engine.wait().beginOperation();
        std::thread aborter;
        if (c.abort)
            aborter = std::thread([&] {
                server->waitForCommand("SYST", 5s);
                engine.wait().abort();
            });
        ASSERT_TRUE(engine.sendCommand(id, "SYST"));
        engine.readReply(id);
        if (aborter.joinable()) aborter.join();
        EXPECT_EQ(engine.lastOutcome(), c.expected) << describe(engine.lastOutcome());
        engine.DesConnecta(id);
        configure({});
    }
}

} // namespace
} // namespace vn::test
