// Every tool offers the hosts it visited last from its own history section:
// a table over the tool windows (their "Last Hosts" submenu, or the list on
// their host field), read afresh at each opening.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>

#include <functional>
#include <memory>

#include "common/DataFolder.h"
#include "common/History.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/ToolWindow.h"
#include "common/ui/WireText.h"
#include "ftp/explorer/TFTPfrm.h"
#include "ftp/explorer/TQuickfrm.h"
#include "icmp/ui/TPingfrm.h"
#include "icmp/ui/TTraceroutefrm.h"
#include "query/ui/TQueryfrm.h"
#include "query/ui/TTimefrm.h"
#include "shell/TWhatIPfrm.h"
#include "telnet/ui/TTelnet2frm.h"
#include "tftp/ui/TTrivialFTPfrm.h"

namespace vn::test {
namespace {

// The entries a menu shows once it opens.
QStringList opened(QMenu* menu) {
    emit menu->aboutToShow();
    QStringList out;
    for (QAction* a : menu->actions())
        if (!a->isSeparator() && a->isEnabled()) out << a->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
    return out;
}

struct Tool {
    const char* name;
    const char* section;
    std::function<std::unique_ptr<QWidget>()> make;
    // The menu that offers the hosts.
    std::function<QMenu*(QWidget&)> menu;
};

QMenu* submenu(QWidget& w) { return static_cast<ToolWindow&>(w).historyMenu(); }
QMenu* fieldList(QWidget& w) {
    auto* field = w.findChild<QLineEdit*>(QStringLiteral("HostEdit"));
    return field ? field->findChild<QMenu*>(QStringLiteral("LastHostsMenu")) : nullptr;
}

template <class W>
std::function<std::unique_ptr<QWidget>()> make() {
    return [] { return std::make_unique<W>(); };
}

const std::vector<Tool>& tools() {
    static const std::vector<Tool> t = {
        {"FTP", "FTP", make<TFTPfrm>(), submenu},
        {"FTP Quick Connection", "FTP", make<TQuickfrm>(), fieldList},
        {"Telnet", "Telnet", make<telnet::TTelnet2frm>(), submenu},
        {"Ping", "ping", make<icmp::TPingfrm>(), submenu},
        {"Traceroute", "ping", make<icmp::TTraceroutefrm>(), submenu},
        {"Finger", "Finger", make<TFingerfrm>(), submenu},
        {"Whois", "Whois", make<TWhoisfrm>(), submenu},
        {"DayTime", "DayTime", make<TDayTimefrm>(), submenu},
        {"Time", "Time", make<TTimefrm>(), submenu},
        {"TFTP client", tftp::TTrivialFTPfrm::kHistorySection, make<tftp::TTrivialFTPfrm>(), submenu},
        {"DNS", "DNS", make<TWhatIPfrm>(), fieldList},
    };
    return t;
}

struct Hosts : ::testing::Test {
    void SetUp() override { setBeepHook([] {}); }
    void TearDown() override { setBeepHook(nullptr); }
    static void clear(const char* section) {
        IniFile ini(configFile());
        ini.writeInt(section, "Total", 0);
    }
    static void add(const char* section, const char* host) {
        IniFile ini(configFile());
        History(ini, section).AfegirComAVisitat(host);
    }
};

TEST_F(Hosts, EveryToolOffersItsOwnLastHostsNewestFirst) {
    for (const Tool& t : tools()) {
        SCOPED_TRACE(t.name);
        for (const Tool& other : tools()) clear(other.section);
        auto w = t.make();
        QMenu* menu = t.menu(*w);
        ASSERT_TRUE(menu);
        EXPECT_TRUE(opened(menu).isEmpty());
        // Added after the window opened: read at the opening, not kept.
        add(t.section, "older.example");
        add(t.section, "R&D.example");
        for (const Tool& other : tools())
            if (std::string(other.section) != t.section) add(other.section, "someone-else.example");
        EXPECT_EQ(opened(menu), (QStringList{"R&D.example", "older.example"}));
    }
}

TEST_F(Hosts, ChoosingAnEntryFillsTheHostField) {
    clear("DNS");
    add("DNS", "example.org");
    TWhatIPfrm dns;
    QMenu* menu = fieldList(dns);
    ASSERT_TRUE(menu);
    opened(menu);
    menu->actions().value(0)->trigger();
    EXPECT_EQ(dns.input()->text(), "example.org");

    clear(tftp::TTrivialFTPfrm::kHistorySection);
    add(tftp::TTrivialFTPfrm::kHistorySection, "tftp.example");
    tftp::TTrivialFTPfrm t;
    opened(t.historyMenu());
    t.historyMenu()->actions().value(0)->trigger();
    EXPECT_EQ(t.hostEdit()->text(), "tftp.example");
}

TEST_F(Hosts, ADnsLookUpIsRemembered) {
    clear("DNS");
    TWhatIPfrm dns;
    QSignalSpy ended(&dns, &TWhatIPfrm::lookUpEnded);
    dns.input()->setText("localhost");
    dns.lookUp();
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_EQ(opened(fieldList(dns)), QStringList{"localhost"});
}

} // namespace
} // namespace vn::test
