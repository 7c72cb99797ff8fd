// Round-trip times of our echo engine against iputils ping, in the same run:
// N echoes to 127.0.0.1 from a Ping session (the path a window drives) and
// from `ping -c N`, then the same across a router made of network namespaces
// (A - R - B, root only), there also with the unprivileged ping socket. Median and p99 side by side, and the replies each
// side lost. Goal: our median within 0.05 ms of ping's, and nothing lost that
// ping receives.
//
//   icmp_bench [--count N] [--interval MS] [--no-netns]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "Netns.h"
#include "icmp/IcmpClient.h"
#include "icmp/SessionRunner.h"

namespace {

struct Series {
    std::vector<double> ms;  // one per reply received
    int sent = 0;
    std::string backend;
    std::string error;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    // Nearest rank.
    auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

Series ours(const std::string& host, int count, int intervalMs,
            vn::icmp::BackendChoice backend = vn::icmp::BackendChoice::Auto) {
    Series s;
    vn::icmp::IcmpClient client;
    client.setBackendChoice(backend);
    client.setHost(host);
    client.setTimeout(2000);
    client.setTtl(64);
    vn::EventWait wait;
    wait.beginOperation();
    vn::icmp::PingSession session;
    vn::icmp::PingSettings settings;
    settings.doOnly = true;
    settings.only = count;
    settings.interval = intervalMs;
    session.start(settings);
    auto run = vn::icmp::runPing(session, client, wait, [&](const vn::icmp::EchoReply& r, const vn::icmp::ReplyEffect& fx) {
        if (!fx.added) return;
        ++s.sent;
        if (r.status == vn::icmp::EchoStatus::Echo) s.ms.push_back(r.roundTripUs / 1000.0);
    }, 0);
    s.error = run.error;
    s.backend = client.lastBackend() ? vn::icmp::backendName(*client.lastBackend()) : "none";
    return s;
}

Series iputils(const std::string& prefix, const std::string& host, int count, int intervalMs) {
    Series s;
    s.backend = "iputils ping";
    char interval[32];
    std::snprintf(interval, sizeof interval, "%.3f", intervalMs / 1000.0);
    std::string cmd = prefix + "ping -n -c " + std::to_string(count) + " -i " + interval + " -W 2 " + host + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) {
        s.error = "cannot run ping";
        return s;
    }
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        if (const char* t = std::strstr(line, "time=")) s.ms.push_back(std::atof(t + 5));
        if (std::strstr(line, "packets transmitted")) s.sent = std::atoi(line);
    }
    int status = ::pclose(p);
    if (s.ms.empty() && status != 0) s.error = "ping failed (status " + std::to_string(status) + ")";
    return s;
}

bool report(const char* where, const Series& a, const Series& b) {
    std::printf("\n%s\n", where);
    std::printf("  %-26s %8s %8s %10s %10s\n", "", "sent", "lost", "median ms", "p99 ms");
    for (const Series* s : {&a, &b}) {
        std::string name = s == &a ? "ours (" + s->backend + ")" : s->backend;
        std::printf("  %-26s %8d %8d %10.3f %10.3f\n", name.c_str(), s->sent, s->sent - static_cast<int>(s->ms.size()),
                    percentile(s->ms, 50), percentile(s->ms, 99));
        if (!s->error.empty()) std::printf("    error: %s\n", s->error.c_str());
    }
    double diff = percentile(a.ms, 50) - percentile(b.ms, 50);
    int lostA = a.sent - static_cast<int>(a.ms.size()), lostB = b.sent - static_cast<int>(b.ms.size());
    bool ok = !std::isnan(diff) && std::fabs(diff) <= 0.05 && lostA <= lostB;
    std::printf("  median difference %+.3f ms (goal within 0.05 ms), lost %d vs %d: %s\n", diff, lostA, lostB,
                ok ? "met" : "NOT met");
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    int count = 100, intervalMs = 10;
    bool netns = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--count" && i + 1 < argc) count = std::max(1, std::atoi(argv[++i]));
        else if (a == "--interval" && i + 1 < argc) intervalMs = std::max(0, std::atoi(argv[++i]));
        else if (a == "--no-netns") netns = false;
        else {
            std::fprintf(stderr, "usage: icmp_bench [--count N] [--interval MS] [--no-netns]\n");
            return 2;
        }
    }
    std::printf("ICMP echo round trips, %d echoes each, %d ms apart\n", count, intervalMs);

    Series a = ours("127.0.0.1", count, intervalMs);
    Series b = iputils("", "127.0.0.1", count, intervalMs);
    report("127.0.0.1", a, b);

    if (netns) {
        if (auto why = vn::icmp::test::namespacesUnavailable()) {
            std::printf("\nacross a namespace router: skipped (%s)\n", why->c_str());
        } else {
            vn::icmp::test::RoutedNet net;
            if (net.error()) {
                std::printf("\nacross a namespace router: skipped (%s)\n", net.error()->c_str());
            } else {
                Series ra;
                vn::icmp::test::runInNetns(net.a.name(), [&] { ra = ours(vn::icmp::test::RoutedNet::kB, count, intervalMs); });
                Series rb = iputils("ip netns exec " + net.a.name() + " ", vn::icmp::test::RoutedNet::kB, count, intervalMs);
                report("across the namespace router (A -> R -> B)", ra, rb);
                // The unprivileged back-end, allowed in A by its ping_group_range.
                Series da, db;
                vn::icmp::test::runInNetns(net.a.name(), [&] {
                    da = ours("127.0.0.1", count, intervalMs, vn::icmp::BackendChoice::Datagram);
                });
                db = iputils("ip netns exec " + net.a.name() + " ", "127.0.0.1", count, intervalMs);
                report("127.0.0.1 inside namespace A, ping socket", da, db);
                vn::icmp::test::runInNetns(net.a.name(), [&] {
                    da = ours(vn::icmp::test::RoutedNet::kB, count, intervalMs, vn::icmp::BackendChoice::Datagram);
                });
                report("across the namespace router, ping socket", da, rb);
            }
        }
    }
    return 0;
}
