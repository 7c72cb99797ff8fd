// The FTP window against a real vsftpd on loopback: Quick Connection, the
// welcome text, the keep-alive with a short NOOPInterval and the QUIT round.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include <chrono>

#include "RealFtpServers.h"
#include "ScriptedPrompter.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/InfoBox.h"
#include "ftp/explorer/TFTPfrm.h"
#include "WindowTestUtil.h"

namespace vn::test {
namespace {

using namespace std::chrono_literals;


TEST(WindowWithVsftpd, QuickConnectionKeepAliveAndQuit) {
    RealServerOptions o;
    o.banner = "Varnelo test archive.";
    Vsftpd server(o);
    ASSERT_TRUE(server.ready()) << server.error();
    IniFile ini(configFile());
    ini.writeInt("FTP", "NOOPInterval", 1);
    ScopedPrompter prompter;
    prompter->pushDialog([&](QDialog& d) {
        d.findChild<QLineEdit*>("HostEdit")->setText("127.0.0.1");
        d.findChild<QLineEdit*>("LoginEdit")->setText("anonymous");
        d.findChild<QLineEdit*>("PasswordEdit")->setText("me@example.org");
        d.findChild<QLineEdit*>("PortEdit")->setText(QString::number(server.port()));
        d.accept();
        return d.result();
    });
    auto* w = new TFTPfrm;
    QPointer<TFTPfrm> alive(w);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->QuickSBClick();
    ASSERT_TRUE(waitIdle(*w));
    QStringList log = w->info()->lines();
    QStringList head = log.mid(0, 10);
    // Quick Connection asks for TLS first; this vsftpd has none and refuses, and the log says so.
    QStringList expected = {">Connecting socket to 127.0.0.1 [FTP]",
                            ">Socket connected.",
                            "--->220 Varnelo test archive.",
                            ">AUTH TLS",
                            "--->530 Please login with USER and PASS.",
                            "-The server does not support TLS: this session is NOT encrypted.",
                            ">USER anonymous",
                            "--->331 Please specify the password.",
                            ">PASS **************",
                            "--->230 Login successful."};
    EXPECT_EQ(head, expected);
    EXPECT_TRUE(log.contains(">PWD"));
    EXPECT_TRUE(log.contains("--->257 \"/\" is the current directory"));
    auto asked = prompter->asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), "message: 220 Varnelo test archive.\r230 Login successful.");

    ASSERT_TRUE(waitForLogLine(*w, "--->200 NOOP ok.", std::chrono::seconds(5)));
    EXPECT_TRUE(w->info()->lines().contains(">NOOP 127.0.0.1"));
    EXPECT_TRUE(w->info()->lines().contains("--->200 NOOP ok."));

    prompter->pushYesNo(true);
    w->close();
    for (int i = 0; i < 500 && alive; ++i) QTest::qWait(10);
    EXPECT_FALSE(alive);
    EXPECT_EQ(prompter->unexpected(), 0);
}

} // namespace
} // namespace vn::test
