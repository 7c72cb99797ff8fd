#include "tftp/TftpPacket.h"

namespace vn::tftp {

namespace {

std::uint16_t get16(std::string_view s, std::size_t at) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(s[at]) << 8) |
                                      static_cast<unsigned char>(s[at + 1]));
}

void put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v & 0xff));
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads one zero-ended field at `pos`; false when the zero byte is missing.
bool takeField(std::string_view s, std::size_t& pos, std::string_view& field) {
    if (pos >= s.size()) return false;
    const std::size_t end = s.find('\0', pos);
    if (end == std::string_view::npos) return false;
    field = s.substr(pos, end - pos);
    pos = end + 1;
    return true;
}

bool onlyZeros(std::string_view s) { return s.find_first_not_of('\0') == std::string_view::npos; }

Decoded failed(std::string text, ErrorCode answer) {
    Decoded d;
    d.error = std::move(text);
    d.answer = answer;
    return d;
}

// Option pairs from `pos` to the end. A name field that is empty ends the list
// when nothing but zero bytes follows (padding some clients add).
bool takeOptions(std::string_view s, std::size_t pos, std::vector<Option>& out, std::string& error) {
    while (pos < s.size()) {
        if (s[pos] == '\0') {
            if (onlyZeros(s.substr(pos))) return true;
            error = "Malformed option list";
            return false;
        }
        std::string_view name, value;
        if (!takeField(s, pos, name)) {
            error = "Option name without its end";
            return false;
        }
        if (!takeField(s, pos, value)) {
            error = "Option \"" + printable(name, 40) + "\" without a value";
            return false;
        }
        if (out.size() >= kMaxOptions) {
            error = "Too many options";
            return false;
        }
        out.push_back({std::string(name), std::string(value)});
    }
    return true;
}

} // namespace

int clampBlockSize(long long requested) {
    if (requested < kMinBlockSize) return kMinBlockSize;
    if (requested > kMaxBlockSize) return kMaxBlockSize;
    return static_cast<int>(requested);
}

const char* errorCodeText(std::uint16_t code) {
    switch (code) {
    case 0: return "Not defined";
    case 1: return "File not found";
    case 2: return "Access violation";
    case 3: return "Disk full or allocation exceeded";
    case 4: return "Illegal TFTP operation";
    case 5: return "Unknown transfer ID";
    case 6: return "File already exists";
    case 7: return "No such user";
    case 8: return "Option negotiation refused";
    default: return "Unknown error";
    }
}

std::optional<std::uint16_t> peekOpcode(std::string_view datagram) {
    if (datagram.size() < 2) return std::nullopt;
    return get16(datagram, 0);
}

bool sameOptionName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

bool isKnownMode(std::string_view mode) {
    return sameOptionName(mode, "octet") || sameOptionName(mode, "binary") ||
           sameOptionName(mode, "netascii");
}

std::optional<long long> parseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::string printable(std::string_view bytes, std::size_t limit) {
    std::string out;
    const std::size_t n = bytes.size() < limit ? bytes.size() : limit;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        out.push_back((c < 0x20 || c == 0x7f) ? '?' : static_cast<char>(c));
    }
    return out;
}

Decoded decode(std::string_view s) {
    if (s.size() < 2) return failed("Packet shorter than 2 bytes", ErrorCode::NotDefined);
    const std::uint16_t op = get16(s, 0);
    Decoded d;
    switch (op) {
    case 1:
    case 2: {
        std::size_t pos = 2;
        std::string_view name, mode;
        if (!takeField(s, pos, name)) return failed("Request without a complete file name", ErrorCode::IllegalOperation);
        if (!takeField(s, pos, mode)) return failed("Request without a complete transfer mode", ErrorCode::IllegalOperation);
        if (name.empty()) return failed("Request with an empty file name", ErrorCode::IllegalOperation);
        std::string error;
        if (!takeOptions(s, pos, d.packet.options, error)) return failed(error, ErrorCode::IllegalOperation);
        d.packet.op = static_cast<Opcode>(op);
        d.packet.filename.assign(name);
        d.packet.mode.assign(mode);
        break;
    }
    case 3:
        if (s.size() < kHeaderSize) return failed("DATA packet shorter than 4 bytes", ErrorCode::IllegalOperation);
        if (s.size() > kMaxDatagram) return failed("DATA packet longer than the largest block", ErrorCode::IllegalOperation);
        d.packet.op = Opcode::DATA;
        d.packet.block = get16(s, 2);
        d.packet.data = s.substr(kHeaderSize);
        break;
    case 4:
        if (s.size() < kHeaderSize) return failed("ACK packet shorter than 4 bytes", ErrorCode::IllegalOperation);
        // Anything after the block number is ignored, as common servers do.
        d.packet.op = Opcode::ACK;
        d.packet.block = get16(s, 2);
        break;
    case 5: {
        if (s.size() < kHeaderSize) return failed("ERROR packet shorter than 4 bytes", ErrorCode::IllegalOperation);
        d.packet.op = Opcode::ERROR;
        d.packet.errorCode = get16(s, 2);
        std::string_view text = s.substr(kHeaderSize);
        if (auto z = text.find('\0'); z != std::string_view::npos) text = text.substr(0, z);
        d.packet.message = printable(text);
        break;
    }
    case 6: {
        std::string error;
        if (!takeOptions(s, 2, d.packet.options, error)) return failed(error, ErrorCode::OptionRefused);
        d.packet.op = Opcode::OACK;
        break;
    }
    default:
        return failed("Unknown opcode " + std::to_string(op), ErrorCode::IllegalOperation);
    }
    d.ok = true;
    return d;
}

int checkOack(const Packet& oack, int requestedBlock, std::string& why) {
    if (oack.options.empty()) {
        why = "Option acknowledgement without options";
        return 0;
    }
    int size = 0;
    for (const Option& o : oack.options) {
        if (!sameOptionName(o.name, "blksize")) {
            why = "Option acknowledgement names an option that was not requested: " + printable(o.name, 40);
            return 0;
        }
        if (size != 0) {
            why = "Option acknowledgement repeats blksize";
            return 0;
        }
        auto v = parseDecimal(o.value);
        if (!v || *v < kMinBlockSize || *v > requestedBlock) {
            why = "Option acknowledgement with an invalid blksize: " + printable(o.value, 20);
            return 0;
        }
        size = static_cast<int>(*v);
    }
    return size;
}

std::string encodeRequest(Opcode op, std::string_view filename, std::string_view mode,
                          const std::vector<Option>& options) {
    std::string out;
    out.reserve(4 + filename.size() + mode.size() + 32);
    put16(out, static_cast<std::uint16_t>(op));
    out.append(filename);
    out.push_back('\0');
    out.append(mode);
    out.push_back('\0');
    for (const Option& o : options) {
        out.append(o.name);
        out.push_back('\0');
        out.append(o.value);
        out.push_back('\0');
    }
    return out;
}

std::string encodeAck(std::uint16_t block) {
    std::string out;
    put16(out, 4);
    put16(out, block);
    return out;
}

std::string encodeError(std::uint16_t code, std::string_view message) {
    std::string out;
    put16(out, 5);
    put16(out, code);
    // A message is one line of text; the zero byte ends it.
    std::string_view text = message.substr(0, 400);
    for (char c : text) out.push_back(c == '\0' ? ' ' : c);
    out.push_back('\0');
    return out;
}

std::string encodeOack(const std::vector<Option>& options) {
    std::string out;
    put16(out, 6);
    for (const Option& o : options) {
        out.append(o.name);
        out.push_back('\0');
        out.append(o.value);
        out.push_back('\0');
    }
    return out;
}

void putDataHeader(char* out, std::uint16_t block) {
    out[0] = 0;
    out[1] = 3;
    out[2] = static_cast<char>(block >> 8);
    out[3] = static_cast<char>(block & 0xff);
}

std::string encodeData(std::uint16_t block, std::string_view payload) {
    std::string out(kHeaderSize, '\0');
    putDataHeader(out.data(), block);
    out.append(payload);
    return out;
}

} // namespace vn::tftp
