#include "icmp/PingSession.h"

#include <algorithm>

namespace vn::icmp {

std::string copyLine(const ResultRow& row) {
    return "Number: " + row.number + "  TTL: " + row.ttl + "  Time: " + row.time + "  Host: " + row.host;
}

std::optional<std::string> copyText(const std::deque<ResultRow>& rows, std::vector<std::size_t> selected) {
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    std::string out;
    bool any = false;
    for (std::size_t i : selected) {
        if (i >= rows.size()) continue;
        if (any) out += '\r';
        out += copyLine(rows[i]);
        any = true;
    }
    if (!any) return std::nullopt;
    return out;
}

void PingSession::start(const PingSettings& settings) {
    settings_ = settings;
    running_ = true;
    ++generation_;
    status_ = "Pinging";
    rows_.clear();
    count_ = 0;
    echoes_ = 0;
    average_ = 0;
    averageLabel_ = "Average Time : 0ms";
    lostLabel_ = "Lost Packets: 0";
    totalLabel_ = "Total Packets: 0";
}

void PingSession::stop() {
    running_ = false;
    status_ = "Not Pinging";
    average_ = 0;
}

std::string PingSession::onError(const std::string& text) {
    stop();
    return text;
}

ReplyEffect PingSession::onReply(const EchoReply& reply) {
    ReplyEffect fx;
    if (!running_) return fx;  // a late answer after Stop
    if (settings_.doLast && !rows_.empty() && rows_.size() >= static_cast<std::size_t>(std::max(0, settings_.last))) {
        rows_.pop_front();
        fx.removedOldest = true;
    }
    if (settings_.doOnly && rows_.size() >= static_cast<std::size_t>(std::max(0, settings_.only))) {
        stop();
        fx.stopped = true;
        return fx;
    }
    average_ = (static_cast<double>(count_) * average_ + reply.roundTripMs) / static_cast<double>(count_ + 1);
    ++count_;
    averageLabel_ = "Average Time : " + std::to_string(roundHalfEven(average_)) + " ms";
    totalLabel_ = "Total Packets: " + std::to_string(count_);

    ResultRow row;
    row.number = std::to_string(count_);
    row.ttl = std::to_string(reply.ttl);
    row.host = reply.source;
    if (reply.status == EchoStatus::Echo) {
        ++echoes_;
        row.time = std::to_string(reply.roundTripMs) + " ms";
    } else {
        lostLabel_ = "Lost Packets: " + std::to_string(count_ - echoes_);
        row.time = std::to_string(reply.roundTripMs);
    }
    row.status = icmp::statusText(reply.status);
    rows_.push_back(std::move(row));
    fx.added = true;
    return fx;
}

PrintReport PingSession::printReport() const {
    PrintReport r;
    r.title = "Varnelo FTP - Ping";
    r.heading = "Varnelo FTP - Ping :   Ping Results";
    for (const auto& row : rows_) r.rows.push_back(copyLine(row));
    // No replies yet: both shares are 0 % rather than a division by zero.
    auto percent = [&](std::uint64_t part) {
        if (count_ == 0) return 0LL;
        return roundHalfEven(static_cast<double>(part) / static_cast<double>(count_) * 100.0);
    };
    r.statistics = {
        averageLabel_,
        lostLabel_ + " [" + std::to_string(percent(count_ - echoes_)) + " %]",
        totalLabel_,
        "OK Packets : " + std::to_string(echoes_) + " [" + std::to_string(percent(echoes_)) + " %]",
    };
    return r;
}

} // namespace vn::icmp
