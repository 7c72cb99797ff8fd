#pragma once
// A Telnet session run on its own thread, with a sink that records what it
// reported and lets a test wait for the screen to show something.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "telnet/TelnetSession.h"

namespace vn::telnet::test {

class RecordingSink : public TelnetSink {
public:
    void status(const std::string& text) override {
        std::lock_guard lock(m_);
        statuses.push_back(text);
    }
    void beep() override { ++beeps; }
    void connecting(const std::string& host) override {
        std::lock_guard lock(m_);
        connectingTo.push_back(host);
    }
    void connected(const std::string& host) override {
        std::lock_guard lock(m_);
        connectedTo.push_back(host);
        ++changes_;
        cv_.notify_all();
    }
    void screenChanged() override {
        std::lock_guard lock(m_);
        ++changes_;
        cv_.notify_all();
    }
    std::string lastStatus() {
        std::lock_guard lock(m_);
        return statuses.empty() ? std::string() : statuses.back();
    }
    std::vector<std::string> connectedHosts() {
        std::lock_guard lock(m_);
        return connectedTo;
    }
    // Waits (up to `within`) until pred() holds; pred is checked after every screen change.
    bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds within = std::chrono::seconds(10)) {
        auto deadline = std::chrono::steady_clock::now() + within;
        for (;;) {
            long seen;
            {
                std::lock_guard lock(m_);
                seen = changes_;
            }
            if (pred()) return true;
            std::unique_lock lock(m_);
            if (!cv_.wait_until(lock, deadline, [&] { return changes_ != seen; })) return pred();
        }
    }

    std::atomic<int> beeps{0};
    std::vector<std::string> statuses;
    std::vector<std::string> connectingTo;
    std::vector<std::string> connectedTo;

private:
    std::mutex m_;
    std::condition_variable cv_;
    long changes_ = 0;
};

// The session plus its sink, run() on a thread of its own.
struct SessionRig {
    RecordingSink sink;
    TelnetSession session{sink};
    std::future<TelnetEnd> end;

    void start(TelnetConnectRequest r) {
        end = std::async(std::launch::async, [this, r] { return session.run(r); });
    }
    void start(const std::string& host, std::uint16_t port) {
        TelnetConnectRequest r;
        r.host = host;
        r.port = port;
        start(r);
    }
    // The end of run(), waited for at most `within`.
    std::optional<TelnetEnd> finish(std::chrono::milliseconds within = std::chrono::seconds(10)) {
        if (end.wait_for(within) != std::future_status::ready) return std::nullopt;
        return end.get();
    }
    bool waitConnected() {
        return sink.waitFor([&] { return session.connected(); });
    }
    // Waits until some visible row contains `text`.
    bool waitScreenShows(const std::string& text, std::chrono::milliseconds within = std::chrono::seconds(10)) {
        return sink.waitFor([&] { return screenText().find(text) != std::string::npos; }, within);
    }
    std::string screenText() {
        auto s = session.screen();
        std::string all;
        for (int r = 1; r <= kScreenRows; ++r) all += s->rowText(r) + "\n";
        return all;
    }
    std::string row(int r) {
        std::string t = session.screen()->rowText(r);
        while (!t.empty() && t.back() == ' ') t.pop_back();
        return t;
    }
    ~SessionRig() {
        if (end.valid()) {
            session.abort();
            end.wait();
        }
    }
};

} // namespace vn::telnet::test
