#pragma once
// What a Ping window shows, as plain data: the rows, the statistics and the
// status, updated reply by reply. The window (or runPing) drives it: start(),
// one onReply() or onError() per exchange, stop(); the window paints rows()
// and the labels. Single-threaded: call it from one thread only.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "icmp/EchoPacket.h"
#include "icmp/PingSettings.h"

namespace vn::icmp {

// One list row. Ping: Number, TimeToLive (TTL), Time, Host Name, Status.
// Traceroute: Number, TTL, Time, Host IP, Status, then the names found for it.
struct ResultRow {
    std::string number;
    std::string ttl;
    std::string time;
    std::string host;
    std::string status;
    std::vector<std::string> names;  // Traceroute: "Host Name" and beyond

    bool operator==(const ResultRow&) const = default;
};

// "Number: n  TTL: t  Time: x  Host: h".
std::string copyLine(const ResultRow& row);
// The chosen rows (indices into rows, taken in list order), one line each,
// joined by a single CR, no trailing one; nullopt when none is chosen (the
// clipboard is then left alone).
std::optional<std::string> copyText(const std::deque<ResultRow>& rows, std::vector<std::size_t> selected);

// What one reply did to the list.
struct ReplyEffect {
    bool removedOldest = false;  // DoLast removed the first row
    bool added = false;          // a row was added at the end
    bool stopped = false;        // the session ended (DoOnly reached, or as the status says)
};

// A printed report: heading, the rows in copy format, then the statistics lines.
struct PrintReport {
    std::string title;    // the job's title
    std::string heading;  // at (100, 60), 16-point bold italic underlined
    std::vector<std::string> rows;        // row i at (100, 260 + 60 i), 12 point
    std::vector<std::string> statistics;  // line k at (100, 360 + 60 n + 60 k), 14-point bold
};

class PingSession {
public:
    static constexpr int kFirstTickMs = 1000;

    // Resets the list and the statistics and starts ("Pinging").
    void start(const PingSettings& settings);
    // Stop: not busy, "Not Pinging", the running average back to 0 (the labels keep their text).
    void stop();
    bool running() const { return running_; }
    // Rises at every start: a window that posts exchanges to its worker tags
    // each with it and drops a result of an earlier session.
    std::uint64_t generation() const { return generation_; }

    // One reply record of an exchange (the reply handler).
    ReplyEffect onReply(const EchoReply& reply);
    // An exchange failed: the session stops first, then the window shows the
    // returned text in one message box (a stopped session cannot raise another).
    std::string onError(const std::string& text);

    // "C&lear": empties the list; the statistics and the numbering go on.
    void clear() { rows_.clear(); }

    // Milliseconds from the start to the first request, and between the starts of requests.
    int firstDelayMs() const { return kFirstTickMs; }
    int intervalMs() const { return settings_.interval < 0 ? 0 : settings_.interval; }

    const std::deque<ResultRow>& rows() const { return rows_; }
    const std::string& statusText() const { return status_; }
    const std::string& averageLabel() const { return averageLabel_; }
    const std::string& lostLabel() const { return lostLabel_; }
    const std::string& totalLabel() const { return totalLabel_; }
    // The gauge: maximum = replies, progress = Echo replies.
    std::uint64_t gaugeMaximum() const { return count_; }
    std::uint64_t gaugeProgress() const { return echoes_; }
    std::uint64_t count() const { return count_; }
    double average() const { return average_; }
    const PingSettings& settings() const { return settings_; }

    std::optional<std::string> copyText(const std::vector<std::size_t>& selected) const {
        return icmp::copyText(rows_, selected);
    }
    PrintReport printReport() const;

private:
    PingSettings settings_;
    bool running_ = false;
    std::uint64_t generation_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t echoes_ = 0;
    double average_ = 0;
    std::deque<ResultRow> rows_;
    std::string status_ = "Not Pinging";
    std::string averageLabel_ = "Average Time : 0ms";
    std::string lostLabel_ = "Lost Packets: 0";
    std::string totalLabel_ = "Total Packets: 0";
};

} // namespace vn::icmp
