#pragma once
// A terminal without a connection: codec -> parser -> screen, and helpers to
// read the screen back in tests.
#include <string>
#include <string_view>
#include <vector>

#include "telnet/Screen.h"
#include "telnet/TelnetCodec.h"
#include "telnet/TerminalParser.h"

namespace vn::telnet::test {

struct Terminal : TelnetCodecOutput {
    Screen screen;
    TerminalParser parser{screen};
    TelnetCodec codec{*this};
    std::vector<std::string> sent;
    std::string terminalBytes;
    int bells = 0;

    Terminal() { screen.onBell = [this] { ++bells; }; }
    void toServer(std::string bytes) override { sent.push_back(std::move(bytes)); }
    void toTerminal(const char* data, std::size_t size) override {
        terminalBytes.append(data, size);
        parser.feed(data, size);
    }
    // Received bytes: through the Telnet layer to the terminal.
    void receive(std::string_view bytes) { codec.receive(bytes.data(), bytes.size()); }
    // Bytes straight to the terminal parser.
    void feed(std::string_view bytes) { parser.feed(bytes.data(), bytes.size()); }
    CursorPos cursor() const { return screen.cursor(); }
    // A row's text without its trailing blanks.
    std::string row(int r) const {
        std::string t = screen.rowText(r);
        while (!t.empty() && t.back() == ' ') t.pop_back();
        return t;
    }
};

inline std::string esc(std::string_view rest) { return "\x1b" + std::string(rest); }

} // namespace vn::telnet::test
