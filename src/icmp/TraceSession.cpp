#include "icmp/TraceSession.h"

#include <algorithm>
#include <deque>

namespace vn::icmp {

bool TraceSession::start(int ttlLimit, const PingSettings& settings, StartedFrom from) {
    settings_ = settings;
    ttlLimit_ = ttlLimit;
    rows_.clear();
    count_ = 0;
    probeTtl_ = 1;
    running_ = true;
    ++generation_;
    switch (from) {
    case StartedFrom::QuickTrace: status_ = "Tracing"; break;
    case StartedFrom::SiteManager: status_ = "Tracing Route"; break;
    case StartedFrom::History: status_ = "Pinging"; break;
    }
    if (ttlLimit_ <= 1) {
        // No probe could ever be sent: don't stay busy for nothing.
        stop();
        return false;
    }
    return true;
}

void TraceSession::stop() {
    running_ = false;
    status_.clear();
    probeTtl_ = 1;
}

std::optional<int> TraceSession::nextProbe() const {
    if (!running_ || probeTtl_ >= ttlLimit_) return std::nullopt;
    return probeTtl_;
}

std::string TraceSession::onError(const std::string& text) {
    stop();
    return text;
}

ReplyEffect TraceSession::onReply(const EchoReply& reply) {
    ReplyEffect fx;
    if (!running_) return fx;
    const bool lastProbe = probeTtl_ >= ttlLimit_ - 1;
    ++probeTtl_;
    if (settings_.doLast && !rows_.empty() && rows_.size() >= static_cast<std::size_t>(std::max(0, settings_.last))) {
        rows_.erase(rows_.begin());
        fx.removedOldest = true;
    }
    if (settings_.doOnly && rows_.size() >= static_cast<std::size_t>(std::max(0, settings_.only))) {
        stop();
        fx.stopped = true;
        return fx;
    }
    ++count_;
    ResultRow row;
    row.number = std::to_string(count_);
    row.ttl = std::to_string(reply.ttl);
    row.host = reply.source;
    bool end = true;
    switch (reply.status) {
    case EchoStatus::Echo:
        row.time = std::to_string(reply.roundTripMs);
        row.status = "Echo";
        break;
    case EchoStatus::TtlExceeded:
        row.time = "0";
        row.status = lastProbe ? "TTL Exceeded" : "Tracing...";
        end = lastProbe;
        break;
    case EchoStatus::TimeOut:
        row.time = "0";
        row.status = "TimeOut";
        end = lastProbe;
        break;
    default:
        row.time = "0";
        row.status = icmp::statusText(reply.status);
        break;
    }
    rows_.push_back(std::move(row));
    fx.added = true;
    if (end) {
        stop();
        fx.stopped = true;
    }
    return fx;
}

bool TraceSession::appendName(std::size_t row, const std::string& name) {
    if (row >= rows_.size()) return false;
    rows_[row].names.push_back(name);
    return true;
}

std::optional<std::string> TraceSession::copyText(const std::vector<std::size_t>& selected) const {
    return icmp::copyText(std::deque<ResultRow>(rows_.begin(), rows_.end()), selected);
}

PrintReport TraceSession::printReport() const {
    PrintReport r;
    r.title = "Varnelo FTP - Traceroute";
    r.heading = "Varnelo FTP - Traceroute :   Traceroute Results";
    for (const auto& row : rows_) r.rows.push_back(copyLine(row));
    return r;
}

} // namespace vn::icmp
