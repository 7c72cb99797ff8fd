#include "ftp/explorer/TQuickfrm.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "ui/ScriptedPrompter.h"

namespace vn {
namespace {

using test::ScopedPrompter;
using Asked = std::vector<std::string>;

const std::string kNoHost = "message: Where do I have to connect me to?";
const std::string kNoPort = "message: Please enter a port number.";
const std::string kNoPassword = "yesno: You have not entered any Password\rDo you want to continue?";
const std::string kNoLogin = "yesno: You have not entered any Login\rDo you want to continue?";

template <typename T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(nullptr, c) << name;
    return c;
}

IniFile config() { return IniFile(configFile()); }

class BeepCounter {
public:
    BeepCounter() { setBeepHook([this] { ++count; }); }
    ~BeepCounter() { setBeepHook({}); }
    std::atomic<int> count{0};
};

struct OkCase {
    const char* name;
    const char* host;
    const char* login;
    const char* password;
    bool anonymous;
    bool useEmail;
    const char* port;
    std::vector<bool> answers;
    Asked asked;
    bool accepted;
};

void PrintTo(const OkCase& c, std::ostream* os) { *os << c.name; }

class QuickOk : public ::testing::TestWithParam<OkCase> {};

TEST_P(QuickOk, FollowsTheRules) {
    const OkCase& c = GetParam();
    ScopedPrompter prompter;
    for (bool a : c.answers) prompter->pushYesNo(a);

    TQuickfrm dlg;
    dlg.show();
    if (c.anonymous) child<QRadioButton>(dlg, "AnonymousRb")->click();
    child<QLineEdit>(dlg, "HostEdit")->setText(QString::fromUtf8(c.host));
    child<QLineEdit>(dlg, "LoginEdit")->setText(QString::fromUtf8(c.login));
    child<QLineEdit>(dlg, "PasswordEdit")->setText(QString::fromUtf8(c.password));
    child<QLineEdit>(dlg, "PortEdit")->setText(QString::fromUtf8(c.port));
    child<QCheckBox>(dlg, "CheckBox1")->setChecked(c.useEmail);

    child<QPushButton>(dlg, "OKBtn")->click();

    EXPECT_EQ(c.asked, prompter->asked());
    EXPECT_EQ(0u, prompter->pending());
    EXPECT_EQ(c.accepted, !dlg.isVisible());
    EXPECT_EQ(c.accepted ? QDialog::Accepted : QDialog::Rejected, dlg.result());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuickOk,
    ::testing::Values(
        OkCase{"empty_host", "", "user", "pw", false, true, "21", {}, {kNoHost}, false},
        OkCase{"blank_host", "   ", "user", "pw", false, true, "21", {}, {kNoHost}, false},
        OkCase{"empty_host_before_login", "", "", "", false, true, "21", {}, {kNoHost}, false},
        OkCase{"normal_with_password", "ftp.example.org", "user", "pw", false, true, "21", {}, {}, true},
        OkCase{"normal_no_password_yes", "ftp.example.org", "user", "", false, true, "21", {true}, {kNoPassword}, true},
        OkCase{"normal_no_password_no", "ftp.example.org", "user", "", false, true, "21", {false}, {kNoPassword}, false},
        OkCase{"normal_ticked_no_password", "h", "user", "", false, true, "21", {false}, {kNoPassword}, false},
        OkCase{"anonymous_ticked", "10.0.0.1", "anonymous", "", true, true, "21", {}, {}, true},
        OkCase{"anonymous_unticked_yes", "h", "anonymous", "", true, false, "21", {true}, {kNoPassword}, true},
        OkCase{"anonymous_unticked_no", "h", "anonymous", "", true, false, "21", {false}, {kNoPassword}, false},
        OkCase{"anonymous_unticked_password", "h", "anonymous", "me@x", true, false, "21", {}, {}, true},
        OkCase{"empty_login_yes", "h", "", "", false, true, "21", {true}, {kNoLogin}, true},
        OkCase{"empty_login_no", "h", "", "", false, true, "21", {false}, {kNoLogin}, false},
        OkCase{"empty_login_with_password", "h", "", "pw", false, true, "21", {false}, {kNoLogin}, false},
        OkCase{"empty_login_anonymous", "h", "", "", true, true, "21", {true}, {kNoLogin}, true},
        OkCase{"empty_port", "h", "user", "pw", false, true, "", {}, {kNoPort}, false},
        OkCase{"port_zero", "h", "user", "pw", false, true, "0", {}, {kNoPort}, false},
        OkCase{"port_too_big", "h", "user", "pw", false, true, "65536", {}, {kNoPort}, false},
        OkCase{"port_huge", "h", "user", "pw", false, true, "99999999999999999999", {}, {kNoPort}, false},
        OkCase{"port_highest", "h", "user", "pw", false, true, "65535", {}, {}, true},
        OkCase{"port_leading_zeros", "h", "user", "pw", false, true, "0021", {}, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TQuickfrm, StaysOpenUntilTheEntriesAreRight) {
    ScopedPrompter prompter;
    TQuickfrm dlg;
    dlg.show();
    QTest::keyClick(child<QLineEdit>(dlg, "HostEdit"), Qt::Key_Return);  // Enter presses OK
    EXPECT_EQ(Asked{kNoHost}, prompter->asked());
    EXPECT_TRUE(dlg.isVisible());

    QTest::keyClicks(child<QLineEdit>(dlg, "HostEdit"), " ftp.example.org ");
    QTest::keyClicks(child<QLineEdit>(dlg, "LoginEdit"), "joan");
    QTest::keyClicks(child<QLineEdit>(dlg, "PasswordEdit"), "s3cret");
    QTest::keyClick(child<QLineEdit>(dlg, "PasswordEdit"), Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(QDialog::Accepted, dlg.result());
    EXPECT_EQ(QStringLiteral("ftp.example.org"), dlg.host());
    EXPECT_EQ(QStringLiteral("joan"), dlg.login());
    EXPECT_EQ(QStringLiteral("s3cret"), dlg.password());
    EXPECT_EQ(21, dlg.port());
}

TEST(TQuickfrm, Defaults) {
    TQuickfrm dlg;
    EXPECT_EQ(QStringLiteral("Quick Connection"), dlg.windowTitle());
    EXPECT_EQ(QStringLiteral("21"), child<QLineEdit>(dlg, "PortEdit")->text());
    EXPECT_EQ(21, dlg.port());
    EXPECT_EQ(QLineEdit::Password, child<QLineEdit>(dlg, "PasswordEdit")->echoMode());
    EXPECT_EQ(QStringLiteral("PASV"), child<QCheckBox>(dlg, "PASVrb")->text());
    EXPECT_FALSE(dlg.passive());
    EXPECT_FALSE(dlg.anonymous());
    EXPECT_EQ(int(TQuickfrm::Auto), dlg.transferType());
    EXPECT_TRUE(dlg.useEmail());
    EXPECT_TRUE(dlg.email().isEmpty());
    EXPECT_EQ(QStringLiteral("L&ogin Type"), child<QGroupBox>(dlg, "RadioGroup1")->title());
    EXPECT_EQ(QStringLiteral("&Type"), child<QGroupBox>(dlg, "RadioGroup2")->title());
    EXPECT_EQ(QStringLiteral("Use my email address if using anonymous mode."),
              child<QCheckBox>(dlg, "CheckBox1")->text());

    QPushButton* ok = child<QPushButton>(dlg, "OKBtn");
    QPushButton* cancel = child<QPushButton>(dlg, "CancelBtn");
    EXPECT_EQ(QStringLiteral("&OK"), ok->text());
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(QStringLiteral("OK"), ok->accessibleName());
    EXPECT_EQ(QStringLiteral("&Cancel"), cancel->text());
    EXPECT_EQ(QStringLiteral("Cancel"), cancel->accessibleName());

    struct Field {
        const char* edit;
        const char* caption;
    };
    const Field fields[] = {{"HostEdit", "&Host address:"},
                            {"LoginEdit", "&Login:"},
                            {"PasswordEdit", "&Password:"},
                            {"PortEdit", "P&ort:"},
                            {"remotediredit", "Initial &Remote Directory:  (i.e:  /pub/)"}};
    for (const Field& f : fields) {
        QWidget* edit = child<QLineEdit>(dlg, f.edit);
        const QLabel* label = nullptr;
        for (const QLabel* l : dlg.findChildren<QLabel*>())
            if (l->buddy() == edit) label = l;
        ASSERT_NE(nullptr, label) << f.edit;
        EXPECT_EQ(QString::fromUtf8(f.caption), label->text()) << f.edit;
    }
}

TEST(TQuickfrm, ChoicesReachTheAccessors) {
    TQuickfrm dlg;
    dlg.setHost(QStringLiteral("ftp.example.org"));
    child<QLineEdit>(dlg, "remotediredit")->setText(QStringLiteral("/pub/"));
    child<QCheckBox>(dlg, "PASVrb")->setChecked(true);
    child<QRadioButton>(dlg, "BinaryRb")->setChecked(true);
    child<QLineEdit>(dlg, "PortEdit")->setText(QStringLiteral("2121"));
    EXPECT_EQ(QStringLiteral("ftp.example.org"), child<QLineEdit>(dlg, "HostEdit")->text());
    EXPECT_EQ(QStringLiteral("/pub/"), dlg.remoteDir());
    EXPECT_TRUE(dlg.passive());
    EXPECT_EQ(int(TQuickfrm::Binary), dlg.transferType());
    EXPECT_EQ(2121, dlg.port());
    child<QRadioButton>(dlg, "AsciiRb")->setChecked(true);
    EXPECT_EQ(int(TQuickfrm::Ascii), dlg.transferType());
}

TEST(TQuickfrm, SecurityDefaultsToExplicitTlsIfAvailableAndImplicitMovesThePort) {
    TQuickfrm dlg;
    QComboBox* combo = child<QComboBox>(dlg, "SecurityCombo");
    EXPECT_EQ(FtpSecurity::ExplicitIfAvailable, dlg.security());
    EXPECT_EQ(QStringLiteral("Use explicit TLS if available"), combo->currentText());
    QStringList captions;
    for (int i = 0; i < combo->count(); ++i) captions << combo->itemText(i);
    EXPECT_EQ((QStringList{"Use explicit TLS if available", "Require explicit TLS", "Implicit TLS", "Plain (insecure)"}),
              captions);
    const QLabel* label = nullptr;
    for (const QLabel* l : dlg.findChildren<QLabel*>())
        if (l->buddy() == combo) label = l;
    ASSERT_NE(nullptr, label);
    EXPECT_EQ(QStringLiteral("Sec&urity:"), label->text());

    dlg.setSecurity(FtpSecurity::Implicit);
    EXPECT_EQ(990, dlg.port());
    dlg.setSecurity(FtpSecurity::Plain);
    EXPECT_EQ(21, dlg.port());
    EXPECT_EQ(FtpSecurity::Plain, dlg.security());
    // A port the user typed stays.
    child<QLineEdit>(dlg, "PortEdit")->setText(QStringLiteral("2121"));
    dlg.setSecurity(FtpSecurity::Implicit);
    EXPECT_EQ(2121, dlg.port());
}

TEST(TQuickfrm, PortBoxTakesOnlyDigits) {
    BeepCounter beeps;
    TQuickfrm dlg;
    dlg.show();
    QLineEdit* port = child<QLineEdit>(dlg, "PortEdit");
    port->clear();
    QTest::keyClicks(port, "8a0 -x1");
    EXPECT_EQ(QStringLiteral("801"), port->text());
    EXPECT_EQ(4, beeps.count.load());
    QTest::keyClick(port, Qt::Key_Backspace);
    EXPECT_EQ(QStringLiteral("80"), port->text());
    EXPECT_EQ(4, beeps.count.load());

    // Non-ASCII digits are not port digits either.
    QKeyEvent arabicThree(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x0663)));
    QApplication::sendEvent(port, &arabicThree);
    EXPECT_EQ(QStringLiteral("80"), port->text());
    EXPECT_EQ(5, beeps.count.load());

    // Pasted text keeps its digits; what is dropped beeps.
    QApplication::clipboard()->setText(QStringLiteral("21x"));
    port->paste();
    EXPECT_EQ(QStringLiteral("8021"), port->text());
    EXPECT_EQ(6, beeps.count.load());
    QApplication::clipboard()->setText(QStringLiteral("21"));
    port->selectAll();
    port->paste();
    EXPECT_EQ(QStringLiteral("21"), port->text());
    EXPECT_EQ(6, beeps.count.load());
}

TEST(TQuickfrm, AnonymousFillsLoginAndMovesFocus) {
    TQuickfrm dlg;
    dlg.show();
    QLineEdit* login = child<QLineEdit>(dlg, "LoginEdit");
    login->setText(QStringLiteral("joan"));
    QTest::mouseClick(child<QRadioButton>(dlg, "AnonymousRb"), Qt::LeftButton);
    EXPECT_TRUE(dlg.anonymous());
    EXPECT_EQ(QStringLiteral("anonymous"), login->text());
    EXPECT_EQ(child<QLineEdit>(dlg, "PasswordEdit"), dlg.focusWidget());

    // Back to Normal leaves the login as it is.
    child<QRadioButton>(dlg, "NormalRb")->click();
    EXPECT_FALSE(dlg.anonymous());
    EXPECT_EQ(QStringLiteral("anonymous"), login->text());
}

struct PasswordCase {
    const char* name;
    bool anonymous;
    bool useEmail;
    const char* typed;
    std::string connectPassword;
};

void PrintTo(const PasswordCase& c, std::ostream* os) { *os << c.name; }

class QuickPassword : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(QuickPassword, AnonymousLogsInWithTheEmail) {
    const PasswordCase& c = GetParam();
    config().writeString("FTP", "Email", "joan@example.org");
    TQuickfrm dlg;
    if (c.anonymous) child<QRadioButton>(dlg, "AnonymousRb")->click();
    child<QCheckBox>(dlg, "CheckBox1")->setChecked(c.useEmail);
    child<QLineEdit>(dlg, "PasswordEdit")->setText(QString::fromUtf8(c.typed));
    EXPECT_EQ(c.connectPassword, dlg.connectPassword());
    EXPECT_EQ(QString::fromUtf8(c.typed), dlg.password());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuickPassword,
    ::testing::Values(PasswordCase{"normal", false, true, "s3cret", "s3cret"},
                      PasswordCase{"normal_utf8", false, false, "p\xc3\xa4ss", "p\xc3\xa4ss"},
                      PasswordCase{"anonymous_ticked", true, true, "typed", "joan@example.org"},
                      PasswordCase{"anonymous_unticked", true, false, "typed", "joan@example.org"},
                      PasswordCase{"anonymous_empty", true, true, "", "joan@example.org"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TQuickfrm, EmailAndTickReadFromTheConfiguration) {
    config().writeString("FTP", "Email", "joan@example.org");
    config().writeInt("FTP", "UseEmailAddress", 0);
    TQuickfrm dlg;
    EXPECT_FALSE(dlg.useEmail());
    EXPECT_EQ(QStringLiteral("joan@example.org"), dlg.email());
    EXPECT_EQ(QStringLiteral("joan@example.org"), child<QCheckBox>(dlg, "CheckBox1")->toolTip());
}

enum class CloseBy { Ok, Cancel, Escape, WindowClose };

struct CloseCase {
    const char* name;
    CloseBy how;
    int before;  // -1: no key in the file
    bool tick;
    int after;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class QuickClose : public ::testing::TestWithParam<CloseCase> {};

TEST_P(QuickClose, WritesTheTickBack) {
    const CloseCase& c = GetParam();
    if (c.before >= 0) config().writeInt("FTP", "UseEmailAddress", c.before);
    ScopedPrompter prompter;
    TQuickfrm dlg;
    dlg.show();
    dlg.setHost(QStringLiteral("h"));
    child<QLineEdit>(dlg, "LoginEdit")->setText(QStringLiteral("u"));
    child<QLineEdit>(dlg, "PasswordEdit")->setText(QStringLiteral("p"));
    child<QCheckBox>(dlg, "CheckBox1")->setChecked(c.tick);
    EXPECT_FALSE(config().hasKey("FTP", "UseEmailAddress") && c.before < 0);
    switch (c.how) {
    case CloseBy::Ok: child<QPushButton>(dlg, "OKBtn")->click(); break;
    case CloseBy::Cancel: child<QPushButton>(dlg, "CancelBtn")->click(); break;
    case CloseBy::Escape: QTest::keyClick(&dlg, Qt::Key_Escape); break;
    case CloseBy::WindowClose: dlg.close(); break;
    }
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(c.how == CloseBy::Ok ? QDialog::Accepted : QDialog::Rejected, dlg.result());
    EXPECT_EQ(c.after, config().readInt("FTP", "UseEmailAddress", -1));
    EXPECT_EQ(Asked{}, prompter->asked());
}

INSTANTIATE_TEST_SUITE_P(Cases, QuickClose,
                         ::testing::Values(CloseCase{"ok_untick", CloseBy::Ok, -1, false, 0},
                                           CloseCase{"cancel_untick", CloseBy::Cancel, 1, false, 0},
                                           CloseCase{"escape_untick", CloseBy::Escape, 1, false, 0},
                                           CloseCase{"close_untick", CloseBy::WindowClose, 1, false, 0},
                                           CloseCase{"escape_tick", CloseBy::Escape, 0, true, 1},
                                           CloseCase{"ok_tick", CloseBy::Ok, 0, true, 1},
                                           CloseCase{"cancel_unchanged", CloseBy::Cancel, -1, true, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TQuickfrm, RefusedOkWritesNothingYet) {
    config().writeInt("FTP", "UseEmailAddress", 1);
    ScopedPrompter prompter;
    TQuickfrm dlg;
    dlg.show();
    child<QCheckBox>(dlg, "CheckBox1")->setChecked(false);
    child<QPushButton>(dlg, "OKBtn")->click();  // no host: stays open
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(1, config().readInt("FTP", "UseEmailAddress", -1));
}

TEST(TQuickfrm, RunsThroughThePrompter) {
    ScopedPrompter prompter;
    prompter->pushDialog([](QDialog& d) {
        d.findChild<QLineEdit*>(QStringLiteral("HostEdit"))->setText(QStringLiteral("ftp.example.org"));
        d.findChild<QLineEdit*>(QStringLiteral("LoginEdit"))->setText(QStringLiteral("u"));
        d.findChild<QLineEdit*>(QStringLiteral("PasswordEdit"))->setText(QStringLiteral("p"));
        d.findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
        return d.result();
    });
    TQuickfrm dlg;
    EXPECT_EQ(QDialog::Accepted, uiPrompter().exec(dlg));
    EXPECT_EQ(Asked{"dialog: Quick Connection"}, prompter->asked());
    EXPECT_EQ(QStringLiteral("ftp.example.org"), dlg.host());
}

} // namespace
} // namespace vn
