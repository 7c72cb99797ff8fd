// Servers that misbehave where real ones would not: a store whose final reply
// is empty is an error, never "transmitted OK"; a folder change that could not
// be answered takes the refused path and its question.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "FakeFtpServer.h"
#include "ScriptedPrompter.h"
#include "UploadTestKit.h"

namespace vn::test {
namespace {

TEST(UploadFaults, AnEmptyFinalReplyAndALostFolderChangeAreNeverSuccess) {
    ScopedPrompter prompter;
    shortFtpKeys(3);
    auto emptyReply = FakeFtpServer::loginScript();
    emptyReply->on("CWD", "250 OK.\r\n").dataPassive().onUpload("STOR", "150 Ok to send data.\r\n", "\r\n");
    auto lostCwd = FakeFtpServer::loginScript();
    lostCwd->onClose("CWD", "");

    const fs::path dir = scratchDir("files");
    writeAll(dir / "one.bin", std::string(5000, '1'));
    writeAll(dir / "two.bin", std::string()); // empty: no division by zero anywhere
    Tmultipleuploadfrm w;
    w.setFiles({(dir / "one.bin").string(), (dir / "two.bin").string()});
    ASSERT_TRUE(addPlainHost(w, siteFor("empty", emptyReply->port(), "/in", true)));
    ASSERT_TRUE(addPlainHost(w, siteFor("lost", lostCwd->port(), "/in", true)));
    prompter->pushYesNo(false);
    QSignalSpy ended(&w, &Tmultipleuploadfrm::jobEnded);
    ASSERT_TRUE(w.startUpload());
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; })) << w.info()->toPlainText().toStdString();
    const std::string log = w.info()->toPlainText().toStdString();

    EXPECT_EQ(emptyReply->uploads(), (std::vector<std::string>{std::string(5000, '1'), std::string()}));
    EXPECT_EQ(countLines(w, "transmitted OK"), 0) << log;
    EXPECT_EQ(countLines(w, "Thread 1 [empty] - >ERROR with STOR command."), 2) << log;
    EXPECT_EQ(cell(w, 0, Tmultipleuploadfrm::FinishedCol), "YES");

    EXPECT_EQ(countLines(w, "Thread 2 [lost] - >STOR"), 0) << log;
    EXPECT_EQ(cell(w, 1, Tmultipleuploadfrm::FinishedCol), "YES") << log;
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{std::string("yesno: ") + kFolderQuestion})) << log;
}

} // namespace
} // namespace vn::test
