#pragma once
// What a Traceroute window shows, as plain data. The window (or runTrace)
// drives it: start(); for each tick nextProbe() gives the TTL to set on the
// echo client, the exchange's record goes to onReply() (or its error to
// onError()); the window paints rows(). Single-threaded.
//
// A probe that times out gives a "TimeOut" row and the trace goes on to the
// next hop: a router that keeps its time-exceeded messages to itself does not
// end the trace. The trace ends at the target's Echo, at an Unreachable
// answer, at the last probe, or on Stop.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "icmp/PingSession.h"

namespace vn::icmp {

class TraceSession {
public:
    static constexpr int kTickMs = 1000;

    // How the trace was started; it only changes the status text.
    enum class StartedFrom { QuickTrace, SiteManager, History };

    // Starts a trace whose probes carry TTL 1 up to ttlLimit - 1. With a limit
    // of 1 or less there is nothing to send: the trace stops at once and
    // start() returns false.
    bool start(int ttlLimit, const PingSettings& settings, StartedFrom from = StartedFrom::QuickTrace);
    // Stop: not busy, status empty, probe TTL back to 1.
    void stop();
    bool running() const { return running_; }
    // Rises at every start (see PingSession::generation()).
    std::uint64_t generation() const { return generation_; }

    // The TTL of the next probe, or nullopt when the trace is over.
    std::optional<int> nextProbe() const;
    // The record of the probe nextProbe() gave.
    ReplyEffect onReply(const EchoReply& reply);
    // As in Ping: stops first, then the window shows the text in one box.
    std::string onError(const std::string& text);
    void clear() { rows_.clear(); }

    // "Get Host Name": the name found for a row is added as its next column
    // value (the first fills "Host Name"). False for a row that is not there.
    bool appendName(std::size_t row, const std::string& name);

    int probeTtl() const { return probeTtl_; }
    int ttlLimit() const { return ttlLimit_; }
    const std::vector<ResultRow>& rows() const { return rows_; }
    const std::string& statusText() const { return status_; }

    std::optional<std::string> copyText(const std::vector<std::size_t>& selected) const;
    PrintReport printReport() const;

private:
    PingSettings settings_;
    bool running_ = false;
    std::uint64_t generation_ = 0;
    int ttlLimit_ = 0;
    int probeTtl_ = 1;
    std::size_t count_ = 0;
    std::vector<ResultRow> rows_;
    std::string status_;
};

} // namespace vn::icmp
