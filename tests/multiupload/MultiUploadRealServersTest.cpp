// The upload window against real servers on 127.0.0.1: three vsftpd instances
// (each its own port; their passive ports are picked by each from the range)
// and pyftpdlib. Every stored copy is compared with its local file.
#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>

#include <memory>

#include "ScriptedPrompter.h"
#include "UploadTestKit.h"
#include "common/ui/Gauges.h"

namespace vn::test {
namespace {

struct RealUpload : ::testing::Test {
    ScopedPrompter prompter;
    fs::path dir = scratchDir("files");
    std::vector<std::unique_ptr<Vsftpd>> servers;

    void SetUp() override { shortFtpKeys(10); }
    void startServers(int n, Vsftpd::Options options = {}) {
        for (int i = 0; i < n; ++i) {
            servers.push_back(std::make_unique<Vsftpd>(options));
            ASSERT_TRUE(servers.back()->ready()) << servers.back()->error();
        }
    }
    // Every file arrived whole in `folder` below the server's upload folder.
    static void expectCopies(const fs::path& folder, const std::vector<std::string>& files) {
        for (const std::string& f : files) {
            const fs::path copy = folder / fs::path(f).filename();
            ASSERT_TRUE(fs::exists(copy)) << copy;
            EXPECT_EQ(std::hash<std::string>{}(readAll(copy)), std::hash<std::string>{}(readAll(f))) << copy;
            EXPECT_EQ(fs::file_size(copy), fs::file_size(f)) << copy;
        }
    }
    static bool runToEnd(Tmultipleuploadfrm& w, int ms = 60000) {
        QSignalSpy ended(&w, &Tmultipleuploadfrm::jobEnded);
        if (!w.startUpload()) return false;
        return waitFor([&] { return ended.count() == 1; }, ms);
    }
};

TEST_F(RealUpload, TwentyFilesToThreeHostsInPassiveAndActiveMode) {
    startServers(3);
    const auto files = makeFiles(dir, 20);
    std::uint64_t total = 0;
    for (const auto& f : files) total += fs::file_size(f);
    Tmultipleuploadfrm w;
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        const std::string sub = passive ? "p" : "a";
        w.setFiles(files);
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(addPlainHost(w, siteFor("site" + std::to_string(i + 1), servers[std::size_t(i)]->port(),
                                                anonFolder(*servers[std::size_t(i)], sub), passive)));
        ASSERT_TRUE(runToEnd(w)) << w.info()->toPlainText().toStdString();
        for (int i = 0; i < 3; ++i) {
            expectCopies(servers[std::size_t(i)]->uploadDir() / sub, files);
            EXPECT_EQ(cell(w, i, Tmultipleuploadfrm::PercentCol), "100");
            EXPECT_EQ(cell(w, i, Tmultipleuploadfrm::FinishedCol), "YES");
            const QString prefix = QStringLiteral("Thread %1 [site%1] - ").arg(i + 1);
            EXPECT_EQ(countLines(w, prefix + ">File '"), 20);
            EXPECT_EQ(countLines(w, prefix + "Ending Thread..."), 1);
            EXPECT_EQ(countLines(w, QStringLiteral("Executing Thread n.%1").arg(i + 1)), 1);
        }
        EXPECT_EQ(countLines(w, "transmitted OK."), 60);
        EXPECT_EQ(countLines(w, ">ERROR"), 0) << w.info()->toPlainText().toStdString();
        EXPECT_EQ(w.gauges()->fileMax(), 3 * total);
        EXPECT_EQ(w.gauges()->fileDone(), 3 * total);
        EXPECT_EQ(w.gauges()->totalDone(), 3u);
    }
    EXPECT_EQ(prompter->asked(), std::vector<std::string>{}); // the welcome text went into the log
}

TEST_F(RealUpload, ARefusedLoginAMissingFolderAndABadNameAreReportedNeverStored) {
    startServers(3);
    auto files = makeFiles(dir, 3);
    // A name with a line break would inject a command after STOR: refused, the others go on.
    const fs::path bad = dir / "evil\r\nDELE file1.bin";
    writeAll(bad, "x");
    files.insert(files.begin() + 1, bad.string());
    Tmultipleuploadfrm w;
    w.setFiles(files);
    ASSERT_TRUE(addPlainHost(w, siteFor("good", servers[0]->port(), anonFolder(*servers[0], "in"), true)));
    ASSERT_TRUE(addPlainHost(w, siteFor("refused", servers[1]->port(), anonFolder(*servers[1], "in"), true,
                                        "nosuchuser", "wrong")));
    ASSERT_TRUE(addPlainHost(w, siteFor("nofolder", servers[2]->port(), "/no/such/folder", false)));
    anonFolder(*servers[2], "in");
    prompter->pushYesNo(false);
    ASSERT_TRUE(runToEnd(w)) << w.info()->toPlainText().toStdString();
    const std::string log = w.info()->toPlainText().toStdString();

    const std::vector<std::string> good{files[0], files[2], files[3]};
    expectCopies(servers[0]->uploadDir() / "in", good);
    EXPECT_EQ(fs::file_size(servers[0]->uploadDir() / "in" / "file1.bin"), fs::file_size(files[2]));
    EXPECT_EQ(std::distance(fs::directory_iterator(servers[0]->uploadDir() / "in"), fs::directory_iterator()), 3);
    EXPECT_EQ(countLines(w, "Thread 1 [good] - >File '"), 3);
    EXPECT_NE(log.find("Thread 1 [good] - >ERROR: Line breaks are not allowed"), std::string::npos) << log;
    EXPECT_EQ(cell(w, 0, Tmultipleuploadfrm::PercentCol), "100");

    EXPECT_NE(log.find("Thread 2 [refused] - Thread Not connected"), std::string::npos) << log;
    EXPECT_EQ(countLines(w, "Thread 2 [refused] - >STOR"), 0);
    EXPECT_TRUE(fs::is_empty(servers[1]->uploadDir() / "in"));

    EXPECT_NE(log.find("Thread 3 [nofolder] - >Error changing Working Directory"), std::string::npos) << log;
    EXPECT_EQ(countLines(w, "Thread 3 [nofolder] - >STOR"), 0);
    EXPECT_TRUE(fs::is_empty(servers[2]->uploadDir() / "in"));

    // Each failure still ends its worker as finished; only real copies count as sent.
    for (int r = 0; r < 3; ++r) EXPECT_EQ(cell(w, r, Tmultipleuploadfrm::FinishedCol), "YES") << r;
    EXPECT_EQ(cell(w, 1, Tmultipleuploadfrm::PercentCol), "0");
    EXPECT_EQ(countLines(w, "transmitted OK."), 3);
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{std::string("yesno: ") + kFolderQuestion}));
}

TEST_F(RealUpload, AMissingFolderAnsweredYesStoresInTheLoginFolder) {
    PyFtpd server;
    ASSERT_TRUE(server.ready()) << server.error();
    const auto files = makeFiles(dir, 4);
    Tmultipleuploadfrm w;
    w.setFiles(files);
    ASSERT_TRUE(addPlainHost(w, siteFor("py", server.port(), "/no/such/folder", true)));
    prompter->pushYesNo(true);
    ASSERT_TRUE(runToEnd(w)) << w.info()->toPlainText().toStdString();
    expectCopies(server.root(), files);
    EXPECT_EQ(countLines(w, "Thread 1 [py] - >File '"), 4);
    EXPECT_EQ(cell(w, 0, Tmultipleuploadfrm::FinishedCol), "YES");
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{std::string("yesno: ") + kFolderQuestion}));
}

TEST_F(RealUpload, CancelThisUploadStopsOneRowWhileTheOthersFinish) {
    // Slow data connections keep every worker busy for a while.
    Vsftpd::Options slow;
    slow.maxRateBytesPerSecond = 120000;
    startServers(3, slow);
    const auto files = makeFiles(dir, 12, 4000); // about 260 KB per host
    Tmultipleuploadfrm w;
    w.setFiles(files);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(addPlainHost(w, siteFor("site" + std::to_string(i + 1), servers[std::size_t(i)]->port(),
                                            anonFolder(*servers[std::size_t(i)], "in"), i != 1)));
    // A fourth row (the first host again, to its own folder), deleted while its worker runs.
    ASSERT_TRUE(addPlainHost(w, siteFor("extra", servers[0]->port(), "", true)));
    prompter->pushInput(anonFolder(*servers[0], "extra") + "/");
    w.hostTable()->setCurrentItem(w.hostTable()->topLevelItem(3));
    w.changeFolder();
    EXPECT_EQ(w.host(3).folder, anonFolder(*servers[0], "extra"));

    QSignalSpy ended(&w, &Tmultipleuploadfrm::jobEnded);
    ASSERT_TRUE(w.startUpload());
    ASSERT_TRUE(waitFor([&] { return cell(w, 1, Tmultipleuploadfrm::PercentCol).toInt() > 0; }));
    w.hostTable()->setCurrentItem(w.hostTable()->topLevelItem(3));
    ASSERT_TRUE(w.action("DeleteHost1")->isEnabled());
    w.deleteHost();
    w.hostTable()->setCurrentItem(w.hostTable()->topLevelItem(1));
    ASSERT_TRUE(w.action("CancelTHISUpload1")->isEnabled());
    w.action("CancelTHISUpload1")->trigger();
    EXPECT_TRUE(w.rowRunning(0));
    EXPECT_TRUE(w.rowRunning(2));
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }, 60000)) << w.info()->toPlainText().toStdString();

    expectCopies(servers[0]->uploadDir() / "in", files);
    expectCopies(servers[2]->uploadDir() / "in", files);
    expectCopies(servers[0]->uploadDir() / "extra", files); // the deleted row's worker went on
    for (int r : {0, 2}) {
        EXPECT_EQ(cell(w, r, Tmultipleuploadfrm::FinishedCol), "YES");
        EXPECT_EQ(cell(w, r, Tmultipleuploadfrm::PercentCol), "100");
    }
    EXPECT_EQ(cell(w, 1, Tmultipleuploadfrm::FinishedCol), "NO");
    EXPECT_LT(cell(w, 1, Tmultipleuploadfrm::PercentCol).toInt(), 100);
    EXPECT_EQ(countLines(w, "Thread 2 [site2] - Ending Thread..."), 0);
    EXPECT_LT(countLines(w, "Thread 2 [site2] - >File '"), 12);
    EXPECT_EQ(w.gauges()->totalDone(), 4u); // every worker's end counts, the cancelled one too
    EXPECT_EQ(w.gauges()->totalMax(), 4u);
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(RealUpload, AServerKilledMidUploadFailsItsRowAndNothingIsReportedAsSent) {
    startServers(1);
    Vsftpd::Options slow;
    slow.maxRateBytesPerSecond = 60000;
    Vsftpd doomed(slow);
    ASSERT_TRUE(doomed.ready()) << doomed.error();
    const auto files = makeFiles(dir, 8, 8000); // about 220 KB: seconds on the slow one
    Tmultipleuploadfrm w;
    w.setFiles(files);
    ASSERT_TRUE(addPlainHost(w, siteFor("fine", servers[0]->port(), anonFolder(*servers[0], "in"), true)));
    ASSERT_TRUE(addPlainHost(w, siteFor("doomed", doomed.port(), anonFolder(doomed, "in"), false)));
    QSignalSpy ended(&w, &Tmultipleuploadfrm::jobEnded);
    ASSERT_TRUE(w.startUpload());
    ASSERT_TRUE(waitFor([&] { return cell(w, 1, Tmultipleuploadfrm::PercentCol).toInt() > 0; }));
    doomed.stop();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; })) << w.info()->toPlainText().toStdString();
    const std::string log = w.info()->toPlainText().toStdString();

    expectCopies(servers[0]->uploadDir() / "in", files);
    // Every file the killed server's log calls sent is whole there; the rest were never reported as sent.
    int sent = 0;
    for (const auto& f : files) {
        const std::string name = fs::path(f).filename().string();
        if (countLines(w, QString::fromStdString("Thread 2 [doomed] - >File '" + name + "' transmitted OK.")) == 0)
            continue;
        ++sent;
        EXPECT_EQ(readAll(doomed.uploadDir() / "in" / name), readAll(f)) << name;
    }
    EXPECT_LT(sent, 8) << log;
    EXPECT_NE(log.find("Thread 2 [doomed] - >ERROR"), std::string::npos) << log;
    EXPECT_EQ(cell(w, 1, Tmultipleuploadfrm::FinishedCol), "YES");
    EXPECT_LT(cell(w, 1, Tmultipleuploadfrm::PercentCol).toInt(), 100);
    EXPECT_EQ(cell(w, 0, Tmultipleuploadfrm::PercentCol), "100");
}

// The site's security choice reaches its worker: a server that takes logins
// only over TLS gets every file, and the log says the session was encrypted.
TEST_F(RealUpload, ASiteThatRequiresTlsUploadsOverTls) {
    Vsftpd::Options tls;
    tls.tls = Vsftpd::Options::Tls::Explicit;
    Vsftpd server(tls);
    ASSERT_TRUE(server.ready()) << server.error();
    ASSERT_TRUE(server.localUserAvailable()) << "a TLS-only login is the local user's";
    const auto files = makeFiles(dir, 4, 300000);
    Tmultipleuploadfrm w;
    w.setFiles(files);
    ASSERT_TRUE(w.addHost(siteFor("secure", server.port(), server.localRoot().string(), true, server.localUser(),
                                  server.localPassword()),
                          FtpSecurity::RequireExplicit));
    prompter->pushYesNo(true); // its certificate, trusted once
    ASSERT_TRUE(runToEnd(w)) << w.info()->toPlainText().toStdString();
    const std::string log = w.info()->toPlainText().toStdString();
    expectCopies(server.localRoot(), files);
    EXPECT_NE(log.find("Thread 1 [secure] - >AUTH TLS"), std::string::npos) << log;
    EXPECT_NE(log.find("Thread 1 [secure] - -TLS connection established: TLSv1."), std::string::npos) << log;
    EXPECT_EQ(cell(w, 0, Tmultipleuploadfrm::PercentCol), "100");
}

// Answers the folder question only after `whileAsked` ran (the user still looking at it).
class HoldingPrompter : public ScriptedPrompter {
public:
    std::function<void()> whileAsked;
    int asks = 0;
    bool askYesNo(const std::string& text) override {
        ++asks;
        if (whileAsked) whileAsked();
        return ScriptedPrompter::askYesNo(text);
    }
};

TEST_F(RealUpload, ClosingMidJobEndsEveryWorkerAndTheQuestionAndKeepsTheRows) {
    Vsftpd::Options slow;
    slow.maxRateBytesPerSecond = 60000;
    startServers(2, slow);
    const auto files = makeFiles(dir, 10, 6000); // about 270 KB: seconds at this rate
    HoldingPrompter holding;
    ScopedPrompter scoped(holding);
    Tmultipleuploadfrm w;
    w.show();
    w.setFiles(files);
    ASSERT_TRUE(addPlainHost(w, siteFor("slow", servers[0]->port(), anonFolder(*servers[0], "in"), true)));
    ASSERT_TRUE(addPlainHost(w, siteFor("asks", servers[1]->port(), "/no/such/folder", false)));
    bool idleWhileAsked = false;
    holding.whileAsked = [&] {
        // The user closes the window with the question still open.
        waitFor([&] { return cell(w, 0, Tmultipleuploadfrm::PercentCol).toInt() > 0; });
        w.close();
        idleWhileAsked = waitFor([&] { return !w.busy(); });
    };
    holding.pushYesNo(true); // too late: the worker has ended
    QSignalSpy ended(&w, &Tmultipleuploadfrm::jobEnded);
    ASSERT_TRUE(w.startUpload());
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; })) << w.info()->toPlainText().toStdString();
    EXPECT_EQ(holding.asks, 1);
    EXPECT_TRUE(idleWhileAsked);
    EXPECT_TRUE(w.isHidden());
    for (OperationRunner* r : w.runners()) EXPECT_FALSE(r->busy());
    // Kept until an opener clears them.
    EXPECT_EQ(w.hostTable()->topLevelItemCount(), 2);
    EXPECT_EQ(w.files().size(), 10);
    for (int r = 0; r < 2; ++r) EXPECT_EQ(cell(w, r, Tmultipleuploadfrm::FinishedCol), "NO") << r;
    EXPECT_EQ(countLines(w, "Ending Thread..."), 0);
    EXPECT_EQ(countLines(w, "Thread 2 [asks] - >STOR"), 0);
    EXPECT_LT(countLines(w, "Thread 1 [slow] - >File '"), 10);
    EXPECT_TRUE(fs::is_empty(servers[1]->root() / "upload"));

    // Shown again by the main window: a fresh window.
    w.show();
    EXPECT_EQ(w.hostTable()->topLevelItemCount(), 0);
    EXPECT_EQ(w.files().size(), 0);
    EXPECT_EQ(countLines(w, "Thread"), 0);
}

} // namespace
} // namespace vn::test
