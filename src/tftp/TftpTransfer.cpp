#include "tftp/TftpTransfer.h"

#include "common/WholeIo.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace vn::tftp {

namespace {

using Clock = Channel::Clock;

std::uint16_t next(std::uint16_t b) { return static_cast<std::uint16_t>(b + 1); }
std::uint16_t prev(std::uint16_t b) { return static_cast<std::uint16_t>(b - 1); }

std::chrono::milliseconds sasGuard(const Timing& t) {
    auto quarter = t.interval / 4;
    return quarter < std::chrono::milliseconds(250) ? quarter : std::chrono::milliseconds(250);
}

std::string errnoText(int e) { return std::strerror(e); }

TransferResult fail(TransferResult r, Outcome o, std::string text) {
    r.outcome = o;
    r.error = std::move(text);
    return r;
}

std::string peerErrorText(const Packet& p) {
    return p.message.empty() ? std::string(errorCodeText(p.errorCode)) : p.message;
}

std::string unexpected(const std::string& who) { return "Unexpected operation from " + who; }

// What both loops share: the packet that is (re)sent, its send count and deadline.
struct Sender {
    Channel& ch;
    const Timing& timing;
    std::string_view pending;
    int sends = 0;
    Clock::time_point lastSend{};
    Clock::time_point deadline{};

    int sendPending(std::chrono::milliseconds wait) {
        ++sends;
        lastSend = Clock::now();
        deadline = lastSend + wait;
        return ch.send(pending);
    }
    void tell(ErrorCode code, std::string_view text) const {
        if (ch.locked()) ch.send(encodeError(code, text));
    }
    // A receive that brought no datagram: true to send again (silence with
    // tries left), false with `r` saying how the transfer ended.
    bool keepWaiting(Channel::Got got, TransferResult& r) const {
        switch (got) {
        case Channel::Got::Aborted:
            tell(ErrorCode::NotDefined, "Transfer cancelled");
            r = fail(r, Outcome::Aborted, "Transfer cancelled");
            return false;
        case Channel::Got::Failed:
            r = fail(r, Outcome::Failed, "UDP Receive Error = " + std::to_string(ch.lastError()) + ".");
            return false;
        case Channel::Got::Silence:
            if (sends < timing.maxSends) return true;
            tell(ErrorCode::IllegalOperation, "Timeout");
            r = fail(r, Outcome::TimedOut, "Timeout");
            return false;
        case Channel::Got::Datagram: break;
        }
        return true;
    }
};

std::string sendErrorText(int e) { return "UDP Send Error = " + std::to_string(e) + ". " + errnoText(e); }

} // namespace

TransferResult sendFile(Channel& ch, int fd, const SendSetup& s, const ProgressFn& progress) {
    TransferResult r;
    int blk = s.blockSize;
    std::vector<char> buf(kMaxDatagram);
    Sender out{ch, s.timing, {}};
    const auto guard = sasGuard(s.timing);
    bool handshake = !s.first.empty();
    bool last = false;
    std::uint16_t expect = 0;
    int readError = 0;

    auto buildData = [&](std::uint16_t block) -> bool {
        long n = readFully(fd, buf.data() + kHeaderSize, static_cast<std::size_t>(blk));
        if (n < 0) {
            readError = errno;
            return false;
        }
        putDataHeader(buf.data(), block);
        out.pending = std::string_view(buf.data(), kHeaderSize + static_cast<std::size_t>(n));
        last = n < blk;
        r.bytes += static_cast<std::uint64_t>(n);
        if (progress) progress(r.bytes);
        expect = block;
        out.sends = 0;
        return true;
    };
    auto readFailed = [&]() {
        const std::string text = "Error reading the file: " + errnoText(readError);
        out.tell(ErrorCode::NotDefined, text);
        return fail(r, Outcome::Failed, text);
    };

    if (handshake) {
        out.pending = s.first;
    } else if (!buildData(1)) {
        return readFailed();
    }
    bool sendNow = true;
    for (;;) {
        r.blockSize = blk;
        if (sendNow) {
            sendNow = false;
            if (int e = out.sendPending(s.timing.interval); e != 0) return fail(r, Outcome::Failed, sendErrorText(e));
        }
        std::string_view dg;
        if (const Channel::Got got = ch.receive(out.deadline, dg); got != Channel::Got::Datagram) {
            if (!out.keepWaiting(got, r)) return r;
            sendNow = true;
            continue;
        }
        if (dg.empty()) return fail(r, Outcome::Failed, "UDP Receive Error = 0.");
        const Decoded d = decode(dg);
        if (!d.ok) {
            out.tell(d.answer, d.error);
            return fail(r, Outcome::Failed, "Malformed packet from " + ch.peer().text() + ": " + d.error);
        }
        const Packet& p = d.packet;
        switch (p.op) {
        case Opcode::ERROR: return fail(r, Outcome::Failed, peerErrorText(p));
        case Opcode::ACK:
            if (p.block == expect) {
                if (handshake) {
                    handshake = false;
                } else if (last) {
                    r.outcome = Outcome::Done;
                    return r;
                }
                if (!buildData(next(expect))) return readFailed();
                sendNow = true;
            } else if (!handshake && p.block == prev(expect)) {
                // The previous block's ACK again: either our block was lost (send it
                // again) or it is the echo of a repeat that crossed our send (ignore).
                if (Clock::now() - out.lastSend >= guard && out.sends < s.timing.maxSends) sendNow = true;
            }
            continue;
        case Opcode::OACK:
            if (s.role == Role::Client && handshake) {
                std::string why;
                const int size = checkOack(p, s.requestedBlock, why);
                if (size == 0) {
                    out.tell(ErrorCode::OptionRefused, why);
                    return fail(r, Outcome::Failed, why);
                }
                blk = size;
                handshake = false;
                if (!buildData(1)) return readFailed();
                sendNow = true;
                continue;
            }
            if (s.role == Role::Client && expect == 1) {
                // The OACK again: DATA 1 may have been lost.
                if (Clock::now() - out.lastSend >= guard && out.sends < s.timing.maxSends) sendNow = true;
                continue;
            }
            [[fallthrough]];
        default: {
            // A client sending a file passes over anything else; the wait's deadline stands.
            if (s.role == Role::Client) continue;
            const std::string text = unexpected(s.unexpectedFrom);
            out.tell(ErrorCode::IllegalOperation, text);
            return fail(r, Outcome::Failed, text);
        }
        }
    }
}

TransferResult receiveFile(Channel& ch, int fd, const ReceiveSetup& s, const ProgressFn& progress) {
    TransferResult r;
    int blk = s.blockSize;
    Sender out{ch, s.timing, {}};
    std::string ack;
    out.pending = s.first;
    std::uint16_t last = 0;
    bool gotData = false;
    bool oackSeen = false;
    bool finished = false;
    bool sendNow = true;

    for (;;) {
        r.blockSize = blk;
        if (sendNow) {
            sendNow = false;
            const bool first = finished && out.sends == 0;
            if (int e = out.sendPending(finished ? s.timing.dally : s.timing.interval); e != 0) {
                if (finished) break;
                return fail(r, Outcome::Failed, sendErrorText(e));
            }
            if (first && s.completed) s.completed();
        }
        std::string_view dg;
        const Channel::Got got = ch.receive(out.deadline, dg);
        if (finished && got != Channel::Got::Datagram) break;
        if (got != Channel::Got::Datagram) {
            if (!out.keepWaiting(got, r)) return r;
            sendNow = true;
            continue;
        }
        if (dg.empty()) {
            if (finished) continue;
            return fail(r, Outcome::Failed, "UDP Receive Error = 0.");
        }
        const Decoded d = decode(dg);
        if (finished) {
            // Only a repeat of the last block matters now: it is acknowledged again.
            if (d.ok && d.packet.op == Opcode::DATA && d.packet.block == last) {
                if (out.sends < s.timing.maxSends) sendNow = true;
                else ch.send(out.pending);
            }
            continue;
        }
        if (!d.ok) {
            out.tell(d.answer, d.error);
            return fail(r, Outcome::Failed, "Malformed packet from " + ch.peer().text() + ": " + d.error);
        }
        const Packet& p = d.packet;
        switch (p.op) {
        case Opcode::ERROR: return fail(r, Outcome::Failed, peerErrorText(p));
        case Opcode::DATA: {
            if (p.data.size() > static_cast<std::size_t>(blk)) {
                const std::string text = "DATA block " + std::to_string(p.block) + " is larger than the block size " +
                                         std::to_string(blk);
                out.tell(ErrorCode::IllegalOperation, text);
                return fail(r, Outcome::Failed, text);
            }
            const bool isNext = p.block == next(last) || (gotData && last == 65535 && p.block == 1);
            if (!isNext) {
                // The previous block again: our ACK was lost; say it once more.
                if (gotData && p.block == last) ch.send(out.pending);
                continue;
            }
            if (!writeFully(fd, p.data.data(), p.data.size())) {
                const int e = errno;
                std::string text;
                if (s.role == Role::Server) {
                    text = "Unable to complete write request, progress halted at " + std::to_string(r.bytes) + " bytes";
                    out.tell(ErrorCode::DiskFull, text);
                } else {
                    text = errnoText(e);
                    out.tell(ErrorCode::NotDefined, text);
                }
                return fail(r, Outcome::Failed, text);
            }
            r.bytes += p.data.size();
            if (progress) progress(r.bytes);
            last = p.block;
            gotData = true;
            ack = encodeAck(last);
            out.pending = ack;
            out.sends = 0;
            sendNow = true;
            if (p.data.size() < static_cast<std::size_t>(blk)) {
                if (s.finish) {
                    if (std::string err = s.finish(); !err.empty()) {
                        out.tell(s.role == Role::Server ? ErrorCode::DiskFull : ErrorCode::NotDefined, err);
                        return fail(r, Outcome::Failed, err);
                    }
                }
                finished = true;
            }
            continue;
        }
        case Opcode::OACK:
            if (s.role == Role::Client && !gotData) {
                if (oackSeen) {
                    ch.send(out.pending); // our ACK 0 was lost
                    continue;
                }
                std::string why;
                const int size = checkOack(p, s.requestedBlock, why);
                if (size == 0) {
                    out.tell(ErrorCode::OptionRefused, why);
                    return fail(r, Outcome::Failed, why);
                }
                blk = size;
                oackSeen = true;
                ack = encodeAck(0);
                out.pending = ack;
                out.sends = 0;
                sendNow = true;
                continue;
            }
            if (s.role == Role::Client) continue; // a late repeat
            [[fallthrough]];
        default: {
            const std::string text = unexpected(s.unexpectedFrom);
            out.tell(ErrorCode::IllegalOperation, text);
            return fail(r, Outcome::Failed, text);
        }
        }
    }
    r.outcome = Outcome::Done;
    return r;
}

} // namespace vn::tftp
