#pragma once
// The Telnet command layer (RFC 854): takes the commands out of the received
// bytes and answers the option negotiation, passing everything else on to the
// terminal; and encodes what the user sends. Its state (a command cut between
// two blocks, an open subnegotiation) survives from one block to the next.
//
// Answers, by the exact command received:
//   DO NAWS          -> WILL NAWS, then (a separate send) SB NAWS 0 80 0 24 SE
//   DO TERMINAL-TYPE -> WONT TERMINAL-TYPE
//   DO ECHO          -> WILL ECHO
//   WILL SGA         -> DO SGA
//   SB TERMINAL-TYPE SEND SE -> SB TERMINAL-TYPE IS "VT100" SE
//   any other DO x   -> WONT x;  any other WILL x -> DO x
//   anything else (WONT, DONT, other commands, other subnegotiations): nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vn::telnet {

namespace cmd {
inline constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, GA = 249,
                              EL = 248, EC = 247, AYT = 246, AO = 245, IP = 244, BRK = 243, DM = 242,
                              NOP = 241, SE = 240;
inline constexpr std::uint8_t ECHO = 1, SGA = 3, TTYPE = 24, NAWS = 31;
} // namespace cmd

// Where the codec's results go.
class TelnetCodecOutput {
public:
    virtual ~TelnetCodecOutput() = default;
    // One send to the server (an answer to a command).
    virtual void toServer(std::string bytes) = 0;
    // Received bytes that are not Telnet commands, in order.
    virtual void toTerminal(const char* data, std::size_t size) = 0;
};

class TelnetCodec {
public:
    // A subnegotiation longer than this is not kept: the rest of it is
    // dropped and it is not answered.
    static constexpr std::size_t kMaxSubnegotiation = 512;

    explicit TelnetCodec(TelnetCodecOutput& out) : out_(out) {}

    void receive(const char* data, std::size_t size);
    // The connect's reset: no command pending, no subnegotiation open.
    void reset();

    // The answer(s) to one complete command (each string is one send).
    static std::vector<std::string> answer(std::string_view command);

    // State, for tests and invariants.
    std::size_t accumulatorSize() const { return acc_.size(); }
    bool inSubnegotiation() const { return state_ == State::Sb || state_ == State::SbIac; }
    bool optionPending() const { return state_ == State::Option; }

private:
    enum class State { Data, Iac, Option, Sb, SbIac };
    void command(std::uint8_t b);
    void finish();

    TelnetCodecOutput& out_;
    State state_ = State::Data;
    std::string acc_;
    bool sbOverflow_ = false;
};

// -- what the user sends --

// Data for the server with every 0xFF doubled.
std::string encodeData(std::string_view bytes);
// A paste, encoded, in consecutive pieces of at most `piece` bytes.
std::vector<std::string> pastePieces(std::string_view text, std::size_t piece = 1024);
// Erase Line: IAC EL.
std::string eraseLineCommand();
// Logout: "logout" CR LF.
std::string logoutCommand();

// Keys sent on release, as the VT100 the terminal says it is.
enum class TelnetKey { Tab, PageUp, PageDown, End, Home, Left, Up, Right, Down, Delete, CtrlExecute };
std::string keyBytes(TelnetKey key);

} // namespace vn::telnet
