// The Telnet command layer, byte-exact: the answers to the server's
// negotiation, commands cut between blocks, IAC IAC, subnegotiations that
// never end, and what the user's input becomes on the wire.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TerminalTestUtil.h"

using namespace vn::telnet;
using vn::telnet::test::Terminal;

namespace {

std::string b(std::initializer_list<int> v) {
    std::string s;
    for (int x : v) s += static_cast<char>(x);
    return s;
}

using Sends = std::vector<std::string>;

struct Exchange {
    const char* name;
    std::string received;
    Sends sent;             // each one send
    std::string toTerminal; // bytes handed to the terminal
};

const std::string kNawsSize = b({255, 250, 31, 0, 80, 0, 24, 255, 240});
const std::string kTtypeIs = b({255, 250, 24, 0}) + "VT100" + b({255, 240});

std::vector<Exchange> exchanges() {
    return {
        {"DO NAWS: WILL NAWS, then the size 80 x 24 in a second send", b({255, 253, 31}),
         {b({255, 251, 31}), kNawsSize}, ""},
        {"DO TERMINAL-TYPE: WONT", b({255, 253, 24}), {b({255, 252, 24})}, ""},
        {"terminal-type SEND after WONT: IS VT100", b({255, 253, 24, 255, 250, 24, 1, 255, 240}),
         {b({255, 252, 24}), kTtypeIs}, ""},
        {"DO ECHO: WILL ECHO", b({255, 253, 1}), {b({255, 251, 1})}, ""},
        {"WILL ECHO: DO ECHO", b({255, 251, 1}), {b({255, 253, 1})}, ""},
        {"WILL SGA: DO SGA", b({255, 251, 3}), {b({255, 253, 3})}, ""},
        {"an unknown DO: WONT", b({255, 253, 39}), {b({255, 252, 39})}, ""},
        {"an unknown WILL: DO", b({255, 251, 38}), {b({255, 253, 38})}, ""},
        {"WONT and DONT are never answered", b({255, 252, 1, 255, 254, 1, 255, 252, 31}), {}, ""},
        {"other commands: nothing answered, nothing drawn", b({255, 241, 255, 242, 255, 246, 255, 249, 255, 240}),
         {}, ""},
        {"other subnegotiations are not answered", b({255, 250, 31, 0, 80, 0, 24, 255, 240}), {}, ""},
        {"IAC IAC is a data byte 255", "a" + b({255, 255}) + "b", {}, "a\xFF" "b"},
        {"IAC IAC inside a subnegotiation is part of it", b({255, 250, 24, 1, 255, 255, 255, 240}) + "x", {}, "x"},
        {"a command byte without IAC is data, the next byte too", b({251}) + "A" + b({250, 240}), {},
         "\xFB" "A\xFA\xF0"},
        {"IAC before an ordinary byte: the byte is data", b({255}) + "A", {}, "A"},
        {"zero bytes are data", std::string("a\0\0b", 4), {}, std::string("a\0\0b", 4)},
        {"text around commands keeps its order", "one" + b({255, 253, 1}) + "two", {b({255, 251, 1})}, "onetwo"},
        {"a subnegotiation cut by a command is dropped; the command is answered",
         b({255, 250, 24, 1, 255, 253, 31}) + "x", {b({255, 251, 31}), kNawsSize}, "x"},
        {"telnetd's opening negotiation",
         b({255, 251, 37, 255, 251, 38, 255, 253, 24, 255, 253, 32, 255, 253, 35, 255, 253, 39, 255, 253, 36}),
         {b({255, 253, 37}), b({255, 253, 38}), b({255, 252, 24}), b({255, 252, 32}), b({255, 252, 35}),
          b({255, 252, 39}), b({255, 252, 36})},
         ""},
    };
}

TEST(TelnetCodec, Answers) {
    for (const auto& e : exchanges()) {
        SCOPED_TRACE(e.name);
        Terminal t;
        t.receive(e.received);
        EXPECT_EQ(t.sent, e.sent);
        EXPECT_EQ(t.terminalBytes, e.toTerminal);
        EXPECT_EQ(t.codec.accumulatorSize(), 0u);
        EXPECT_FALSE(t.codec.inSubnegotiation());
        EXPECT_FALSE(t.codec.optionPending());
    }
}

// A command cut anywhere between two blocks, or sent a byte at a time, is
// answered as if it had arrived whole.
TEST(TelnetCodec, BlockBoundariesDoNotMatter) {
    for (const auto& e : exchanges()) {
        SCOPED_TRACE(e.name);
        for (std::size_t cut = 0; cut <= e.received.size(); ++cut) {
            Terminal t;
            t.receive(e.received.substr(0, cut));
            t.receive(e.received.substr(cut));
            ASSERT_EQ(t.sent, e.sent) << "cut at " << cut;
            ASSERT_EQ(t.terminalBytes, e.toTerminal) << "cut at " << cut;
        }
        Terminal t;
        for (char c : e.received) t.receive(std::string(1, c));
        EXPECT_EQ(t.sent, e.sent);
        EXPECT_EQ(t.terminalBytes, e.toTerminal);
    }
}

TEST(TelnetCodec, IacAtTheEndOfOneBlockAndDoNawsAtTheStartOfTheNext) {
    Terminal t;
    t.receive("prompt" + b({255}));
    EXPECT_TRUE(t.sent.empty());
    t.receive(b({253, 31}) + "$ ");
    EXPECT_EQ(t.sent, (Sends{b({255, 251, 31}), kNawsSize}));
    EXPECT_EQ(t.row(1), "prompt$");
}

TEST(TelnetCodec, ASubnegotiationWithoutEndIsCapped) {
    Terminal t;
    t.receive(b({255, 250, 24, 1}));
    for (int i = 0; i < 100; ++i) t.receive(std::string(1000, 'x'));
    EXPECT_TRUE(t.codec.inSubnegotiation());
    EXPECT_LE(t.codec.accumulatorSize(), TelnetCodec::kMaxSubnegotiation);
    // Its end arrives at last: too long to be a request, so nothing is answered.
    t.receive(b({255, 240}) + "hello");
    EXPECT_TRUE(t.sent.empty());
    EXPECT_FALSE(t.codec.inSubnegotiation());
    EXPECT_EQ(t.row(1), "hello");
}

TEST(TelnetCodec, ResetForgetsACutCommand) {
    Terminal t;
    t.receive(b({255, 253}));
    EXPECT_TRUE(t.codec.optionPending());
    t.codec.reset();
    t.receive("A");
    EXPECT_TRUE(t.sent.empty());
    EXPECT_EQ(t.terminalBytes, "A");
}

TEST(TelnetCodec, DataGoesOutWithIacDoubled) {
    EXPECT_EQ(encodeData("plain"), "plain");
    EXPECT_EQ(encodeData(b({'a', 255, 'b', 255, 255})), b({'a', 255, 255, 'b', 255, 255, 255, 255}));
    EXPECT_EQ(encodeData("\xC3\xA9"), "\xC3\xA9");
}

TEST(TelnetCodec, PastePieces) {
    struct Case {
        std::string text;
        std::vector<std::size_t> sizes;
    };
    const Case cases[] = {
        {std::string(3000, 'x'), {1024, 1024, 952}},
        {std::string(1024, 'x'), {1024}},
        {std::string(1025, 'x'), {1024, 1}},
        {"", {}},
        {std::string(1023, 'x') + b({255}), {1024, 1}}, // the doubled IAC counts
    };
    for (const auto& c : cases) {
        auto pieces = pastePieces(c.text);
        std::vector<std::size_t> sizes;
        std::string joined;
        for (const auto& p : pieces) {
            sizes.push_back(p.size());
            joined += p;
        }
        EXPECT_EQ(sizes, c.sizes) << c.text.size();
        EXPECT_EQ(joined, encodeData(c.text));
    }
}

TEST(TelnetCodec, EraseLineIsIacElOnly) { EXPECT_EQ(eraseLineCommand(), b({255, 248})); }

TEST(TelnetCodec, KeysSendVt100Sequences) {
    const std::pair<TelnetKey, std::string> keys[] = {
        {TelnetKey::Tab, "\t"},           {TelnetKey::PageUp, "\x1b[5~"}, {TelnetKey::PageDown, "\x1b[6~"},
        {TelnetKey::End, "\x1b[4~"},      {TelnetKey::Home, "\x1b[1~"},   {TelnetKey::Left, "\x1b[D"},
        {TelnetKey::Up, "\x1b[A"},        {TelnetKey::Right, "\x1b[C"},   {TelnetKey::Down, "\x1b[B"},
        {TelnetKey::Delete, "\b"},        {TelnetKey::CtrlExecute, b({255, 244})},
    };
    for (const auto& [key, bytes] : keys) EXPECT_EQ(keyBytes(key), bytes) << static_cast<int>(key);
}

} // namespace
