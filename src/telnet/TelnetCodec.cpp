#include "telnet/TelnetCodec.h"

#include <cstring>

namespace vn::telnet {

using namespace cmd;

namespace {
std::string bytes(std::initializer_list<std::uint8_t> b) { return std::string(b.begin(), b.end()); }
} // namespace

void TelnetCodec::reset() {
    state_ = State::Data;
    acc_.clear();
    sbOverflow_ = false;
}

std::vector<std::string> TelnetCodec::answer(std::string_view c) {
    static const std::string doNaws = bytes({IAC, DO, NAWS});
    static const std::string doTtype = bytes({IAC, DO, TTYPE});
    static const std::string doEcho = bytes({IAC, DO, ECHO});
    static const std::string willSga = bytes({IAC, WILL, SGA});
    static const std::string ttypeSend = bytes({IAC, SB, TTYPE, 1, IAC, SE});
    if (c == doNaws) return {bytes({IAC, WILL, NAWS}), bytes({IAC, SB, NAWS, 0, 80, 0, 24, IAC, SE})};
    if (c == doTtype) return {bytes({IAC, WONT, TTYPE})};
    if (c == doEcho) return {bytes({IAC, WILL, ECHO})};
    if (c == willSga) return {bytes({IAC, DO, SGA})};
    if (c == ttypeSend) return {bytes({IAC, SB, TTYPE, 0}) + "VT100" + bytes({IAC, SE})};
    if (c.size() == 3 && static_cast<std::uint8_t>(c[0]) == IAC) {
        auto verb = static_cast<std::uint8_t>(c[1]);
        auto option = static_cast<std::uint8_t>(c[2]);
        if (verb == DO) return {bytes({IAC, WONT, option})};
        if (verb == WILL) return {bytes({IAC, DO, option})};
    }
    return {};
}

void TelnetCodec::finish() {
    for (auto& a : answer(acc_)) out_.toServer(std::move(a));
    acc_.clear();
    state_ = State::Data;
}

// The byte after IAC.
void TelnetCodec::command(std::uint8_t b) {
    switch (b) {
    case IAC: // IAC IAC: a data byte 255
        state_ = State::Data;
        acc_.clear();
        out_.toTerminal("\xFF", 1);
        return;
    case WILL:
    case WONT:
    case DO:
    case DONT:
        acc_ += static_cast<char>(b);
        state_ = State::Option;
        return;
    case SB:
        acc_ += static_cast<char>(b);
        sbOverflow_ = false;
        state_ = State::Sb;
        return;
    default:
        if (b >= SE) { // SE, NOP, DM, BRK .. GA: complete, never answered
            acc_ += static_cast<char>(b);
            finish();
            return;
        }
        // IAC before an ordinary byte is no command: the byte is data.
        acc_.clear();
        state_ = State::Data;
        char c = static_cast<char>(b);
        out_.toTerminal(&c, 1);
        return;
    }
}

void TelnetCodec::receive(const char* data, std::size_t size) {
    const char* p = data;
    const char* end = data + size;
    while (p < end) {
        auto b = static_cast<std::uint8_t>(*p);
        switch (state_) {
        case State::Data: {
            // Hand on everything up to the next IAC in one piece.
            const void* iac = std::memchr(p, IAC, static_cast<std::size_t>(end - p));
            const char* stop = iac ? static_cast<const char*>(iac) : end;
            if (stop > p) out_.toTerminal(p, static_cast<std::size_t>(stop - p));
            p = stop;
            if (p < end) {
                acc_.assign(1, static_cast<char>(IAC));
                state_ = State::Iac;
                ++p;
            }
            continue;
        }
        case State::Iac: command(b); break;
        case State::Option:
            acc_ += static_cast<char>(b);
            finish();
            break;
        case State::Sb:
            if (b == IAC) state_ = State::SbIac;
            else if (acc_.size() < kMaxSubnegotiation) acc_ += static_cast<char>(b);
            else sbOverflow_ = true;
            break;
        case State::SbIac:
            if (b == SE) {
                acc_ += static_cast<char>(IAC);
                acc_ += static_cast<char>(SE);
                if (sbOverflow_) acc_.clear(); // cut short: answer nothing
                finish();
            } else if (b == IAC) { // an escaped 255 inside the subnegotiation
                if (acc_.size() + 2 <= kMaxSubnegotiation) acc_ += "\xFF\xFF";
                else sbOverflow_ = true;
                state_ = State::Sb;
            } else {
                // A command inside a subnegotiation: the subnegotiation was
                // never ended. Drop it and take the command.
                acc_.assign(1, static_cast<char>(IAC));
                state_ = State::Iac;
                command(b);
            }
            break;
        }
        ++p;
    }
}

std::string encodeData(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    for (char c : in) {
        out += c;
        if (static_cast<std::uint8_t>(c) == IAC) out += c;
    }
    return out;
}

std::vector<std::string> pastePieces(std::string_view text, std::size_t piece) {
    std::vector<std::string> out;
    std::string all = encodeData(text);
    if (piece == 0) piece = 1024;
    for (std::size_t pos = 0; pos < all.size(); pos += piece) out.push_back(all.substr(pos, piece));
    return out;
}

std::string eraseLineCommand() { return bytes({IAC, EL}); }

std::string logoutCommand() { return "logout\r\n"; }

std::string keyBytes(TelnetKey key) {
    switch (key) {
    case TelnetKey::Tab: return "\t";
    case TelnetKey::PageUp: return "\x1b[5~";
    case TelnetKey::PageDown: return "\x1b[6~";
    case TelnetKey::End: return "\x1b[4~";
    case TelnetKey::Home: return "\x1b[1~";
    case TelnetKey::Left: return "\x1b[D";
    case TelnetKey::Up: return "\x1b[A";
    case TelnetKey::Right: return "\x1b[C";
    case TelnetKey::Down: return "\x1b[B";
    case TelnetKey::Delete: return "\b";
    case TelnetKey::CtrlExecute: return bytes({IAC, IP});
    }
    return {};
}

} // namespace vn::telnet
