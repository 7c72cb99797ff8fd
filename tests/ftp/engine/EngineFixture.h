#pragma once
// A window-less FTP engine for tests: records what the engine reports and
// answers its questions from a script.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "FakeFtpServer.h"
#include "common/Prompter.h"
#include "ftp/engine/FtpEngine.h"

namespace vn::test {

class RecordingSink : public FtpSink {
public:
    void log(const std::string& line) override {
        std::lock_guard l(m);
        lines.push_back(line);
    }
    void beep() override {
        std::lock_guard l(m);
        ++beeps;
    }
    void sessionOpened(const SessionInfo& info) override {
        std::lock_guard l(m);
        opened.push_back(info);
    }
    void sessionClosed(SessionId id) override {
        std::lock_guard l(m);
        closed.push_back(id);
    }
    std::vector<std::string> log() const {
        std::lock_guard l(m);
        return lines;
    }
    bool has(const std::string& line) const {
        auto v = log();
        return std::find(v.begin(), v.end(), line) != v.end();
    }
    int count(const std::string& line) const {
        auto v = log();
        return static_cast<int>(std::count(v.begin(), v.end(), line));
    }
    bool anyStartsWith(const std::string& prefix) const {
        for (const auto& l : log())
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }

    mutable std::mutex m;
    std::vector<std::string> lines;
    int beeps = 0;
    std::vector<SessionInfo> opened;
    std::vector<SessionId> closed;
};

class PlainPrompter : public Prompter {
public:
    bool askYesNo(const std::string& text) override {
        std::lock_guard l(m);
        asked.push_back("yesno: " + text);
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void message(const std::string& text) override {
        std::lock_guard l(m);
        asked.push_back("message: " + text);
    }
    std::optional<std::string> input(const std::string&, const std::string& prompt, const std::string&) override {
        std::lock_guard l(m);
        asked.push_back("input: " + prompt);
        return std::nullopt;
    }
    // Answers by index from choices; none left: cancelled.
    std::optional<int> choose(const std::string& text, const std::vector<std::string>&) override {
        std::lock_guard l(m);
        asked.push_back("choose: " + text);
        if (choices.empty()) return std::nullopt;
        int c = choices.front();
        choices.pop_front();
        return c;
    }
    std::mutex m;
    std::deque<bool> answers;
    std::deque<int> choices;
    std::vector<std::string> asked;
};

struct EngineFixture : ::testing::Test {
    RecordingSink sink;
    PlainPrompter prompter;
    FtpEngine engine{sink, prompter};

    void SetUp() override { configure({}); }

    void configure(FtpSettings s) {
        engine.applySettings(s);
        engine.wait().lowerCancel();
    }
    static ConnectParams params(uint16_t port, std::string login = "user", std::string password = "pw") {
        ConnectParams p;
        p.host = "127.0.0.1";
        p.port = port;
        p.login = std::move(login);
        p.password = std::move(password);
        return p;
    }
};

} // namespace vn::test
