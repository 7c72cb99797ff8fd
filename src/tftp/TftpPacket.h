#pragma once
// TFTP packets (RFC 1350, options of RFC 2347, block size of RFC 2348): bounded
// decoding of any datagram and the encoders both engines use. No I/O here, so
// the decoder can be fed anything in tests and under the fuzzer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vn::tftp {

enum class Opcode : std::uint16_t { RRQ = 1, WRQ = 2, DATA = 3, ACK = 4, ERROR = 5, OACK = 6 };

enum class ErrorCode : std::uint16_t {
    NotDefined = 0,
    FileNotFound = 1,
    AccessViolation = 2,
    DiskFull = 3,
    IllegalOperation = 4,
    UnknownTransferId = 5,
    FileExists = 6,
    NoSuchUser = 7,
    OptionRefused = 8,
};

inline constexpr int kDefaultBlockSize = 512;
inline constexpr int kMinBlockSize = 8;
inline constexpr int kMaxBlockSize = 65464;
inline constexpr std::size_t kHeaderSize = 4;
// Largest datagram either side ever has to take in.
inline constexpr std::size_t kMaxDatagram = kMaxBlockSize + kHeaderSize;
// Options a request or an OACK may carry before it counts as malformed.
inline constexpr std::size_t kMaxOptions = 32;

// The requested block size brought into the range the RFC allows.
int clampBlockSize(long long requested);

// The standard text of an error code ("File not found", ...).
const char* errorCodeText(std::uint16_t code);

struct Option {
    std::string name;
    std::string value;
};

// One decoded packet. Which fields are set depends on the opcode.
struct Packet {
    Opcode op = Opcode::ERROR;
    std::uint16_t block = 0;       // DATA, ACK
    std::string_view data;         // DATA payload: a view into the datagram
    std::uint16_t errorCode = 0;   // ERROR
    std::string message;           // ERROR, made safe to show
    std::string filename;          // RRQ, WRQ: bytes as sent
    std::string mode;              // RRQ, WRQ: as sent
    std::vector<Option> options;   // RRQ, WRQ, OACK
};

struct Decoded {
    bool ok = false;
    Packet packet;
    // When not ok: what was wrong, and the error code to answer with.
    std::string error;
    ErrorCode answer = ErrorCode::IllegalOperation;
};

// Decodes one datagram. Never reads past `datagram`; every string field must
// end in its zero byte (an ERROR message may lack it). Requests may be padded
// with zero bytes after their last option.
Decoded decode(std::string_view datagram);

// The first opcode of a datagram, if it has one.
std::optional<std::uint16_t> peekOpcode(std::string_view datagram);

// Transfer modes: "octet", "binary" (octet) and "netascii", any letter case.
// The mode only names the transfer: bytes are never converted.
bool isKnownMode(std::string_view mode);

// A decimal option value: digits only, no sign, no blanks; nullopt when it is
// not one or is beyond 10 digits.
std::optional<long long> parseDecimal(std::string_view text);

// Case-insensitive ASCII comparison of option names.
bool sameOptionName(std::string_view a, std::string_view b);

// Bytes a peer sent, made safe for a log line or a message: control bytes
// become '?', and the text is cut at `limit` bytes.
std::string printable(std::string_view bytes, std::size_t limit = 200);

// Checks an OACK against what a client asked for (only "blksize"): the block
// size to use, or 0 with the reason in `why` (the client then sends ERROR 8).
int checkOack(const Packet& oack, int requestedBlock, std::string& why);

std::string encodeRequest(Opcode op, std::string_view filename, std::string_view mode,
                          const std::vector<Option>& options);
std::string encodeAck(std::uint16_t block);
std::string encodeError(std::uint16_t code, std::string_view message);
inline std::string encodeError(ErrorCode code, std::string_view message) {
    return encodeError(static_cast<std::uint16_t>(code), message);
}
std::string encodeOack(const std::vector<Option>& options);
// Writes the DATA header for `block` into out[0..3]; the payload follows it.
void putDataHeader(char* out, std::uint16_t block);
std::string encodeData(std::uint16_t block, std::string_view payload);

} // namespace vn::tftp
