#pragma once
// One query engine as a window would hold it, with everything it reports
// recorded in order (statuses, pieces, beeps, message boxes, time values).
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "TestHome.h"
#include "common/IniFile.h"
#include "common/Prompter.h"
#include "platform/EventWait.h"
#include "query/QueryEngine.h"
#include "common/History.h"

namespace vn::test {

class QueryRecorder : public QuerySink, public Prompter {
public:
    void log(const std::string& line) override { add("log", line); }
    void status(const std::string& text) override { add("status", text); }
    void beep() override { add("beep", {}); }
    void reply(const std::string& piece) override { add("piece", piece); }
    void serverTime(const TimeReading& r) override {
        std::lock_guard lock(mutex_);
        times_.push_back(r);
        events_.push_back({"time", r.text()});
        cv_.notify_all();
    }
    bool askYesNo(const std::string& text) override {
        add("ask", text);
        return false;
    }
    void message(const std::string& text) override { add("message", text); }
    std::optional<std::string> input(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }

    struct Event {
        std::string kind, text;
    };
    std::vector<std::string> all(const std::string& kind) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& e : events_)
            if (e.kind == kind) out.push_back(e.text);
        return out;
    }
    std::vector<std::string> statuses() const { return all("status"); }
    std::vector<std::string> pieces() const { return all("piece"); }
    std::vector<std::string> messages() const { return all("message"); }
    int beeps() const { return static_cast<int>(all("beep").size()); }
    std::string replyBytes() const {
        std::string s;
        for (const auto& p : pieces()) s += p;
        return s;
    }
    std::vector<TimeReading> times() const {
        std::lock_guard lock(mutex_);
        return times_;
    }
    // Waits (bounded, so a fault fails instead of hanging) until `kind` has
    // been reported `count` times, or with `text` when given.
    bool waitFor(const std::string& kind, const std::string& text = {}, size_t count = 1) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(20), [&] {
            size_t n = 0;
            for (const auto& e : events_)
                if (e.kind == kind && (text.empty() || e.text == text)) ++n;
            return n >= count;
        });
    }

private:
    void add(const char* kind, std::string text) {
        std::lock_guard lock(mutex_);
        events_.push_back({kind, std::move(text)});
        cv_.notify_all();
    }
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Event> events_;
    std::vector<TimeReading> times_;
};

struct QueryHarness {
    explicit QueryHarness(QueryKind kind)
        : ini(testHome() / "varnelo.ini"), history(ini, std::string(queryProfile(kind).section)),
          engine(kind, wait, rec, rec) {
        engine.setHistory(&history);
    }
    // The whole query on this thread.
    QueryResult run(QueryRequest request) {
        engine.begin();
        return engine.run(request);
    }
    // The query on a worker, as a window runs it.
    std::future<QueryResult> start(QueryRequest request) {
        engine.begin();
        return std::async(std::launch::async, [this, request] { return engine.run(request); });
    }
    // Bounded wait for a started query: a hang fails the test instead.
    static bool ended(std::future<QueryResult>& f) {
        return f.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    }

    EventWait wait;
    QueryRecorder rec;
    IniFile ini;
    History history;
    QueryEngine engine;
};

} // namespace vn::test
