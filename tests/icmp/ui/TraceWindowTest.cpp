#include "icmp/ui/TTraceroutefrm.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <memory>

#include "Netns.h"
#include "ScriptedPrompter.h"
#include "WindowTestSupport.h"
#include "common/ui/Beeper.h"
#include "icmp/NameLookup.h"
#include "icmp/ui/TPingfrm.h"

namespace vn::icmp {
namespace {

using namespace test;

// Moves the calling (UI) thread into a named namespace while a window is
// made, so that the window's workers, made with it, live there; the UI
// thread then goes home.
class InNetns {
public:
    explicit InNetns(const std::string& name) {
        home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        ok_ = home_ >= 0 && fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0) ::close(fd);
    }
    ~InNetns() { leave(); }
    bool ok() const { return ok_; }
    void leave() {
        if (home_ < 0) return;
        if (ok_) ::setns(home_, CLONE_NEWNET);
        ::close(home_);
        home_ = -1;
    }

private:
    int home_ = -1;
    bool ok_ = false;
};

struct TraceWindow : ::testing::Test {
    vn::test::ScopedPrompter prompter;
    void SetUp() override { setBeepHook([] {}); }
    void TearDown() override {
        setBeepHook(nullptr);
        setReverseFunction(nullptr);
    }
};

TEST_F(TraceWindow, ALimitOfOneSendsNothingAndEndsAtOnce) {
    TTraceroutefrm w;
    EXPECT_EQ(w.windowTitle(), "Varnelo FTP - Traceroute");
    w.ttlBox()->setValue(1);
    prompter->pushInput("127.0.0.1");
    w.action("Quick1")->trigger();
    EXPECT_FALSE(w.busy());
    EXPECT_FALSE(w.session().running());
    EXPECT_EQ(w.list()->rowCount(), 0);
    EXPECT_TRUE(w.action("Quick1")->isEnabled());
    EXPECT_EQ(prompter->asked(),
              std::vector<std::string>{"input: Quick Traceroute: &Please enter the Host address to Trace:"});
}

// The unprivileged back-end: the ping socket, allowed for every group in a
// namespace of the test's own, pinging its loopback from the window.
TEST_F(TraceWindow, PingThroughThePingSocketShowsEchoRows) {
    if (auto why = namespacesUnavailable()) GTEST_SKIP() << *why;
    NamedNetns ns;
    if (ns.error()) GTEST_SKIP() << "cannot make a namespace here: " << *ns.error();
    ASSERT_FALSE(ns.exec("sysctl -qw net.ipv4.ping_group_range='0 2147483647'"));
    writeSettings(/*doOnly*/ true, 2, false, 5, /*interval*/ 10);
    InNetns in(ns.name());
    ASSERT_TRUE(in.ok());
    TPingfrm w;
    in.leave();
    w.client().setBackendChoice(BackendChoice::Datagram);
    prompter->pushInput("127.0.0.1");
    w.quickStart();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(w.client().lastBackend(), Backend::Datagram);
    ASSERT_EQ(w.list()->rowCount(), 2) << rowTexts(w.list()).join("\n").toStdString();
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(cell(w.list(), r, 3), "127.0.0.1");
        EXPECT_EQ(cell(w.list(), r, 4), "Echo");
    }
    EXPECT_EQ(prompter->unexpected(), 0);
}

// A target that keeps quiet: a TimeOut row with time 0 from 0.0.0.0, counted as lost.
TEST_F(TraceWindow, ASilentTargetGivesATimeOutRowCountedAsLost) {
    if (!rawAllowed()) GTEST_SKIP() << "this run may not open raw ICMP sockets (needs root or CAP_NET_RAW)";
    if (auto why = namespacesUnavailable()) GTEST_SKIP() << *why;
    RoutedNet net;
    if (net.error()) GTEST_SKIP() << "the A - R - B namespaces cannot be built here: " << *net.error();
    ASSERT_FALSE(net.b.exec("sysctl -qw net.ipv4.icmp_echo_ignore_all=1"));
    writeSettings(/*doOnly*/ true, 1, false, 5, /*interval*/ 0, /*timeout*/ 300);
    InNetns in(net.a.name());
    ASSERT_TRUE(in.ok());
    TPingfrm w;
    in.leave();
    prompter->pushInput(RoutedNet::kB);
    w.quickStart();
    ASSERT_TRUE(waitFor([&] { return !w.busy(); }));
    EXPECT_EQ(rowTexts(w.list()), QStringList{"1|0|0|0.0.0.0|TimeOut"});
    EXPECT_EQ(w.lostLabel()->text(), "Lost Packets: 1");
    EXPECT_EQ(w.totalLabel()->text(), "Total Packets: 1");
    EXPECT_EQ(w.totalGauge()->value(), 0);
}

// A - R - B of the engine tests; the window's workers live in A.
class RoutedTraceWindow : public TraceWindow, public ::testing::WithParamInterface<Backend> {
protected:
    void SetUp() override {
        TraceWindow::SetUp();
        if (GetParam() == Backend::Raw && !rawAllowed())
            GTEST_SKIP() << "this run may not open raw ICMP sockets (needs root or CAP_NET_RAW)";
        if (auto why = namespacesUnavailable()) GTEST_SKIP() << *why;
        net = std::make_unique<RoutedNet>();
        if (net->error()) GTEST_SKIP() << "the A - R - B namespaces cannot be built here: " << *net->error();
        writeSettings(false, 5, false, 5, 1000, 2000);
        InNetns in(net->a.name());
        ASSERT_TRUE(in.ok()) << "cannot enter " << net->a.name();
        w = std::make_unique<TTraceroutefrm>();
        in.leave();
        w->client().setBackendChoice(GetParam() == Backend::Raw ? BackendChoice::Raw : BackendChoice::Datagram);
    }
    void TearDown() override {
        w.reset();
        net.reset();
        TraceWindow::TearDown();
    }
    void trace(const char* host) {
        prompter->pushInput(host);
        w->quickStart();
        ASSERT_TRUE(w->busy());
        EXPECT_EQ(w->statusText(), "Tracing");
        ASSERT_TRUE(waitFor([&] { return !w->busy(); }, 15s));
    }
    std::unique_ptr<RoutedNet> net;
    std::unique_ptr<TTraceroutefrm> w;
};

TEST_P(RoutedTraceWindow, HopByHopToTheTargetWithReverseNamesAndCopy) {
    trace(RoutedNet::kB);
    QTableWidget* list = w->list();
    ASSERT_EQ(list->rowCount(), 2) << rowTexts(list).join("\n").toStdString();
    EXPECT_EQ(cell(list, 0, 0), "1");
    EXPECT_EQ(cell(list, 0, 2), "0");
    EXPECT_EQ(cell(list, 0, 3), RoutedNet::kRouterNearA);
    EXPECT_EQ(cell(list, 0, 4), "Tracing...");
    EXPECT_EQ(cell(list, 1, 0), "2");
    EXPECT_EQ(cell(list, 1, 3), RoutedNet::kB);
    EXPECT_EQ(cell(list, 1, 4), "Echo");
    // The TTL column is the answer's time to live: B's reply crossed R.
    EXPECT_EQ(cell(list, 0, 1).toInt() - 1, cell(list, 1, 1).toInt());
    EXPECT_EQ(w->statusText(), "");
    EXPECT_FALSE(w->session().running());

    // Get Host Name: off until a row is chosen; the name fills "Host Name",
    // a second one is kept beyond the visible columns.
    EXPECT_FALSE(w->action("DNS1")->isEnabled());
    setReverseFunction([](const std::string& dotted) {
        NameResult r;
        if (dotted == RoutedNet::kRouterNearA) {
            r.status = NameResult::Found;
            r.name = "router.test";
        } else {
            r.status = NameResult::NoName;
        }
        return r;
    });
    list->selectRow(0);
    ASSERT_TRUE(w->action("DNS1")->isEnabled());
    w->action("DNS1")->trigger();
    ASSERT_TRUE(waitFor([&] { return cell(list, 0, 5) == "router.test" && !w->busy(); }, 5s));
    w->action("DNS1")->trigger();
    ASSERT_TRUE(waitFor([&] { return w->session().rows()[0].names.size() == 2 && !w->busy(); }, 5s));
    EXPECT_EQ(cell(list, 0, 5), "router.test");
    list->selectRow(1);
    w->action("DNS1")->trigger();
    ASSERT_TRUE(waitFor([&] { return !w->busy(); }, 5s));
    EXPECT_EQ(prompter->asked().back(), "message: No host name was found for 10.77.2.2.");

    w->action("Copy1")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("Number: 2  TTL: %1  Time: %2  Host: 10.77.2.2").arg(cell(list, 1, 1), cell(list, 1, 2)));
}

TEST_P(RoutedTraceWindow, AnUnreachableRouteEndsTheTraceWithUnreachable) {
    ASSERT_FALSE(shell("ip -n " + net->r.name() + " route add unreachable 10.77.2.2/32"));
    trace(RoutedNet::kB);
    ASSERT_EQ(w->list()->rowCount(), 1) << rowTexts(w->list()).join("\n").toStdString();
    EXPECT_EQ(cell(w->list(), 0, 3), RoutedNet::kRouterNearA);
    EXPECT_EQ(cell(w->list(), 0, 4), "Unreachable");
}

TEST_P(RoutedTraceWindow, TheLastProbeBelowTheLimitReadsTtlExceeded) {
    // Limit 2: one probe (TTL 1), answered by R.
    w->ttlBox()->setValue(2);
    trace(RoutedNet::kB);
    ASSERT_EQ(w->list()->rowCount(), 1);
    EXPECT_EQ(cell(w->list(), 0, 3), RoutedNet::kRouterNearA);
    EXPECT_EQ(cell(w->list(), 0, 4), "TTL Exceeded");
}

INSTANTIATE_TEST_SUITE_P(Backends, RoutedTraceWindow, ::testing::Values(Backend::Raw, Backend::Datagram),
                         [](const auto& info) { return std::string(backendName(info.param)); });

} // namespace
} // namespace vn::icmp
