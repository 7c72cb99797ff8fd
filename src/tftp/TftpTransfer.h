#pragma once
// The lock-step exchange both engines share: sending a file (DATA, waiting for
// each ACK) and receiving one (ACK, waiting for each DATA), including the
// request or option handshake that starts them. Rules that make it sound:
// - block numbers are 16 bits and wrap (65535, 0, 1); only the next block is
//   taken, a repeat of the last one is acknowledged again, anything else ignored;
// - a duplicate ACK that arrives right after a send does not make the block go
//   out again (the Sorcerer's Apprentice doubling never starts);
// - every wait has a deadline from the last send that foreign or stale
//   datagrams don't move, and a block is sent a bounded number of times;
// - an ERROR is never answered; a malformed packet ends the transfer with ERROR 4;
// - success only after the last block was acknowledged (sender) or written,
//   committed and acknowledged (receiver).
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Outcome.h"
#include "tftp/TftpChannel.h"
#include "tftp/TftpPacket.h"

namespace vn::tftp {

struct Timing {
    std::chrono::milliseconds interval{1500}; // wait for an answer before sending again
    int maxSends = 3;                         // sends of one packet before "Timeout"
    std::chrono::milliseconds dally{1500};    // after the final ACK: wait for a repeat
};

// Called after every block with the running byte count.
using ProgressFn = std::function<void(std::uint64_t bytes)>;

struct TransferResult {
    Outcome outcome = Outcome::Failed;
    std::string error; // empty on success
    std::uint64_t bytes = 0;
    int blockSize = kDefaultBlockSize; // in effect at the end
};

enum class Role { Client, Server };

struct SendSetup {
    Role role = Role::Server;
    // Client: the WRQ. Server: the OACK, or empty to start with DATA 1.
    std::string first;
    int blockSize = kDefaultBlockSize;
    int requestedBlock = 0; // client: the blksize asked for (checks an OACK)
    Timing timing;
    // "Unexpected operation from %s:%d" names this (the client's configured server).
    std::string unexpectedFrom;
};

struct ReceiveSetup {
    Role role = Role::Server;
    // Client: the RRQ. Server: the OACK or ACK 0.
    std::string first;
    int blockSize = kDefaultBlockSize;
    int requestedBlock = 0;
    Timing timing;
    std::string unexpectedFrom;
    // Runs once the last block is written, before it is acknowledged (commits
    // the file); a non-empty text fails the transfer and goes to the peer as
    // ERROR 3 (server) or ERROR 0 (client).
    std::function<std::string()> finish;
    // Runs once the last block is acknowledged, before the wait for a repeat.
    std::function<void()> completed;
};

// Reads the file from `fd` and sends it.
TransferResult sendFile(Channel& ch, int fd, const SendSetup& setup, const ProgressFn& progress);
// Receives into `fd`.
TransferResult receiveFile(Channel& ch, int fd, const ReceiveSetup& setup, const ProgressFn& progress);

} // namespace vn::tftp
