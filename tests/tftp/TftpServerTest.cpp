// The server engine: a table of raw datagrams and their answers, confinement
// beneath the base folder, the real clients (tftp-hpa, atftp, curl) at every
// block size and the block number wrap, loss and forged datagrams, and stopping.
#include <gtest/gtest.h>

#include <set>

#include "TftpTestKit.h"
#include "tftp/TftpPacket.h"
#include "tftp/TftpServer.h"

using namespace vn::tftp;
using namespace vn::tftp::test;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

struct ServerRig {
    TempDir dir;
    RecordingSink sink;
    TftpServer server{sink};
    explicit ServerRig(int timeoutMs = 1500, int maxSends = 3) {
        fs::create_directories(base());
        ServerSettings s;
        s.port = 0;
        s.anyPort = true;
        s.bindAddress = "127.0.0.1";
        s.baseFolder = base();
        s.timeoutMs = timeoutMs;
        s.maxSends = maxSends;
        started = server.start(s);
    }
    fs::path base() const { return dir.path() / "base"; }
    std::string baseText() const { return base().string() + "/"; }
    std::uint16_t port() const { return server.port(); }
    std::string portText() const { return std::to_string(port()); }
    bool started = false;
};

std::string rrq(std::string_view name, std::string_view mode = "octet", std::vector<Option> options = {}) {
    return encodeRequest(Opcode::RRQ, name, mode, options);
}
std::string wrq(std::string_view name, std::vector<Option> options = {}) {
    return encodeRequest(Opcode::WRQ, name, "octet", options);
}
std::string messageOf(std::string_view d) {
    const Decoded x = decode(d);
    return x.ok ? x.packet.message : std::string();
}

} // namespace

TEST(TftpServer, AnswersEveryKindOfDatagram) {
    ServerRig rig(200, 2);
    ASSERT_TRUE(rig.started);
    makeFile(rig.base() / "file", 2000, 1);
    fs::create_directories(rig.base() / "sub");

    struct Case {
        std::string datagram;
        int opcode;        // expected answer; 0: none
        int codeOrBlock;   // ERROR code, DATA/ACK block
        std::string text;  // part of the ERROR text, or the OACK's blksize
        bool fromNewPort;  // answered from a transfer port of its own
    };
    const Case cases[] = {
        {""s, 0, 0, "", false},
        {"\0"s, 5, 0, "shorter than 2 bytes", false},
        {encodeError(ErrorCode::NotDefined, "an error"), 0, 0, "", false},
        {"\0\5"s, 0, 0, "", false},
        {encodeData(1, "x"), 5, 4, "Unexpected operation from 127.0.0.1:", false},
        {encodeAck(1), 5, 4, "Unexpected operation from 127.0.0.1:", false},
        {"\0\x09zz"s, 5, 4, "Unexpected operation", false},
        {"\0\1file"s, 5, 4, "file name", false},
        {"\0\1file\0octet"s, 5, 4, "mode", false},
        {rrq("file", "mail"), 5, 4, "Unsupported transfer mode: \"mail\"", false},
        {rrq("file", "octet", {{"blksize", "abc"}}), 5, 0, "blksize", false},
        {rrq("file", "octet", {{"blksize", "4"}}), 5, 8, "", false},
        {rrq("../x"), 5, 2, "Access to ../x denied", false},
        {rrq("C:x"), 5, 2, "denied", false},
        {rrq("missing"), 5, 1, "No such file", false},
        {rrq("sub"), 5, 2, "denied", false},
        {rrq("file"), 3, 1, "", true},
        {rrq("file", "BINARY"), 3, 1, "", true},
        {rrq("file", "netascii"), 3, 1, "", true},
        {rrq("file", "octet", {{"blksize", "100000"}}), 6, 0, "65464", true},
        {rrq("file", "octet", {{"BLKSIZE", "1024"}}), 6, 0, "1024", true},
        {rrq("file", "octet", {{"blksize", "256"}}), 6, 0, "256", true},
        {rrq("file", "octet", {{"tsize", "0"}, {"blksize", "1024"}}), 3, 1, "", true},
        {wrq("new"), 4, 0, "", true},
        {wrq("new2", {{"blksize", "8192"}}), 6, 0, "8192", true},
        {wrq("sub"), 5, 2, "denied", false},
        {wrq("nofolder/x"), 5, 3, "", false},
        {wrq(std::string(300, 'n')), 5, 3, "File name too long", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.datagram));
        RawPeer client;
        client.sendTo(rig.port(), c.datagram);
        std::uint16_t from = 0;
        auto answer = client.recv(c.opcode ? 2000ms : 300ms, &from);
        if (c.opcode == 0) {
            EXPECT_FALSE(answer) << "answered";
            continue;
        }
        ASSERT_TRUE(answer);
        EXPECT_EQ(opcodeOf(*answer), c.opcode);
        if (c.opcode == 6) {
            const Decoded d = decode(*answer);
            ASSERT_TRUE(d.ok);
            ASSERT_EQ(d.packet.options.size(), 1u);
            EXPECT_EQ(d.packet.options[0].name, "blksize");
            EXPECT_EQ(d.packet.options[0].value, c.text);
        } else {
            EXPECT_EQ(blockOf(*answer), c.codeOrBlock);
            if (c.opcode == 5) {
                EXPECT_NE(messageOf(*answer).find(c.text), std::string::npos) << messageOf(*answer);
            }
        }
        EXPECT_EQ(from != rig.port(), c.fromNewPort);
        if (c.opcode == 3) {
            EXPECT_EQ(answer->size(), 4u + 512u);
        }
    }
    // Still listening after all of it; the abandoned transfers ended on their own.
    EXPECT_TRUE(rig.sink.waitFor("Transfer Complete - Error Transmitting", 8, 5000ms));
    RawPeer last;
    last.sendTo(rig.port(), rrq("file"));
    auto d = last.recv(2000ms);
    ASSERT_TRUE(d);
    EXPECT_EQ(opcodeOf(*d), 3);
    EXPECT_FALSE(fs::exists(rig.base() / "new"));
    EXPECT_TRUE(rig.sink.contains("TFTP Server Started at Port " + rig.portText()));
    EXPECT_TRUE(rig.sink.contains("Transfer in progress... - "));
    EXPECT_TRUE(rig.sink.contains("ERROR: File doesn't exist [Remote client tried to get " + rig.baseText() + "missing]"));
}

TEST(TftpServer, EveryRequestStaysBeneathTheBaseFolder) {
    ServerRig rig(200, 1);
    ASSERT_TRUE(rig.started);
    TempDir outside;
    makeFile(outside.path() / "secret", 300, 9);
    fs::create_directories(rig.base() / "a");
    fs::create_symlink(outside.path() / "secret", rig.base() / "link-out");
    fs::create_symlink(outside.path(), rig.base() / "dir-out");
    const std::string secret = readAll(outside.path() / "secret");
    const std::string passwd = readAll("/etc/passwd");

    const std::vector<std::string> names = {"../x", "/etc/passwd", "a/../../x", "link-out", "dir-out/secret",
                                            "..\\x", "C:\\x", "c:x", "a/../../../etc/passwd", "/../secret",
                                            "abcd/../../x", "dir-out/new"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        for (bool read : {true, false}) {
            RawPeer client;
            client.sendTo(rig.port(), read ? rrq(name) : wrq(name));
            auto answer = client.recv(2000ms);
            ASSERT_TRUE(answer);
            ASSERT_EQ(opcodeOf(*answer), 5) << "served or accepted";
            const int code = blockOf(*answer);
            EXPECT_TRUE(code == 1 || code == 2 || code == 3) << code;
        }
    }
    // Nothing was written outside, and the outside file is as it was.
    EXPECT_EQ(readAll(outside.path() / "secret"), secret);
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(readAll("/etc/passwd"), passwd);
    // "/etc/passwd" names the base folder's own etc/passwd.
    fs::create_directories(rig.base() / "etc");
    makeFile(rig.base() / "etc" / "passwd", 10, 4);
    RawPeer client;
    client.sendTo(rig.port(), rrq("/etc/passwd"));
    auto d = client.recv(2000ms);
    ASSERT_TRUE(d);
    EXPECT_EQ(*d, encodeData(1, readAll(rig.base() / "etc" / "passwd")));
}

namespace {

struct ClientTool {
    const char* name;
    bool hasBlockSize;
    std::vector<std::string> (*get)(std::uint16_t port, int block, const std::string& remote, const fs::path& local);
    std::vector<std::string> (*put)(std::uint16_t port, int block, const std::string& remote, const fs::path& local);
};

const ClientTool kTftpHpa{
    "tftp-hpa", false,
    [](std::uint16_t port, int, const std::string& r, const fs::path& l) {
        return std::vector<std::string>{"tftp", "127.0.0.1", std::to_string(port), "-m", "binary", "-c", "get", r, l.string()};
    },
    [](std::uint16_t port, int, const std::string& r, const fs::path& l) {
        return std::vector<std::string>{"tftp", "127.0.0.1", std::to_string(port), "-m", "binary", "-c", "put", l.string(), r};
    }};

const ClientTool kAtftp{
    "atftp", true,
    [](std::uint16_t port, int block, const std::string& r, const fs::path& l) {
        std::vector<std::string> v{"atftp"};
        if (block) v.insert(v.end(), {"--option", "blksize " + std::to_string(block)});
        v.insert(v.end(), {"-g", "-r", r, "-l", l.string(), "127.0.0.1", std::to_string(port)});
        return v;
    },
    [](std::uint16_t port, int block, const std::string& r, const fs::path& l) {
        std::vector<std::string> v{"atftp"};
        if (block) v.insert(v.end(), {"--option", "blksize " + std::to_string(block)});
        v.insert(v.end(), {"-p", "-r", r, "-l", l.string(), "127.0.0.1", std::to_string(port)});
        return v;
    }};

const ClientTool kCurl{
    "curl", true,
    [](std::uint16_t port, int block, const std::string& r, const fs::path& l) {
        return std::vector<std::string>{"curl", "-sS", "--tftp-blksize", std::to_string(block ? block : 512), "-o",
                                        l.string(), "tftp://127.0.0.1:" + std::to_string(port) + "/" + r};
    },
    [](std::uint16_t port, int block, const std::string& r, const fs::path& l) {
        return std::vector<std::string>{"curl", "-sS", "--tftp-blksize", std::to_string(block ? block : 512), "-T",
                                        l.string(), "tftp://127.0.0.1:" + std::to_string(port) + "/" + r};
    }};

void roundTrip(ServerRig& rig, const ClientTool& tool, int block, const std::vector<std::uint64_t>& sizes,
               std::size_t& successes) {
    TempDir local;
    for (std::uint64_t size : sizes) {
        SCOPED_TRACE(std::string(tool.name) + " block " + std::to_string(block) + " size " + std::to_string(size));
        const std::string name = std::string(tool.name) + "-" + std::to_string(block) + "-" + std::to_string(size);
        makeFile(rig.base() / name, size, static_cast<unsigned>(size + block));
        RunResult r = run(tool.get(rig.port(), block, name, local.path() / name), 60s, local.path());
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(sameContent(rig.base() / name, local.path() / name));
        EXPECT_TRUE(rig.sink.waitFor("Transfer Complete - Success", ++successes, 5s));

        const std::string up = name + "-up";
        makeFile(local.path() / up, size, static_cast<unsigned>(size + block + 1));
        r = run(tool.put(rig.port(), block, up, local.path() / up), 60s, local.path());
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(rig.sink.waitFor("Transfer Complete - Success", ++successes, 5s));
        EXPECT_TRUE(sameContent(local.path() / up, rig.base() / up));
    }
}

} // namespace

TEST(TftpServer, ServesTftpHpaAtftpAndCurl) {
    ServerRig rig;
    ASSERT_TRUE(rig.started);
    std::size_t successes = 0;
    roundTrip(rig, kTftpHpa, 0, {0, 511, 512, 513, 2048}, successes);
    for (int block : {512, 1024, 1428, 8192, 65464}) {
        std::set<std::uint64_t> s = {0, 511, 512, 513, std::uint64_t(block) - 1, std::uint64_t(block),
                                     std::uint64_t(block) + 1, 3ull * block};
        roundTrip(rig, kAtftp, block, {s.begin(), s.end()}, successes);
    }
    roundTrip(rig, kCurl, 1024, {0, 512, 513, 5000}, successes);
    EXPECT_EQ(rig.sink.count("Transfer Complete - Error Transmitting"), 0u);
    EXPECT_TRUE(rig.sink.contains("Sending File " + rig.baseText() + "atftp-512-513 From 127.0.0.1 [Port "));
    EXPECT_TRUE(rig.sink.contains("Getting File atftp-512-513-up From 127.0.0.1 [Port "));
}

TEST(TftpServer, BlockNumbersWrapBothWays) {
    ServerRig rig;
    ASSERT_TRUE(rig.started);
    TempDir local;
    const std::uint64_t size = 33ull << 20;
    makeFile(rig.base() / "big", size, 5);
    RunResult r = run(kAtftp.get(rig.port(), 0, "big", local.path() / "big"), 120s, local.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(sameContent(rig.base() / "big", local.path() / "big"));
    r = run(kAtftp.put(rig.port(), 0, "big-up", local.path() / "big"), 120s, local.path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(rig.sink.waitFor("Transfer Complete - Success", 2, 5s));
    EXPECT_TRUE(sameContent(local.path() / "big", rig.base() / "big-up"));
}

TEST(TftpServer, ForeignDatagramsRepeatsAndSilence) {
    ServerRig rig(800, 3);
    ASSERT_TRUE(rig.started);
    makeFile(rig.base() / "three", 1100, 2); // 512, 512, 76
    const std::string content = readAll(rig.base() / "three");
    RawPeer client, stranger;
    client.sendTo(rig.port(), rrq("three"));
    std::uint16_t tid = 0;
    auto d = client.recv(2000ms, &tid);
    ASSERT_TRUE(d);
    EXPECT_EQ(*d, encodeData(1, content.substr(0, 512)));
    // A foreign transfer ID is told so and changes nothing.
    stranger.sendTo(tid, encodeAck(1));
    auto e = stranger.recv(2000ms);
    ASSERT_TRUE(e);
    EXPECT_EQ(opcodeOf(*e), 5);
    EXPECT_EQ(blockOf(*e), 5);
    EXPECT_FALSE(client.recv(100ms)) << "the forged ACK moved the transfer";
    // The ACK arrives twice: block 2 goes out once (no Sorcerer's Apprentice).
    client.sendTo(tid, encodeAck(1));
    client.sendTo(tid, encodeAck(1));
    d = client.recv(2000ms);
    ASSERT_TRUE(d);
    EXPECT_EQ(blockOf(*d), 2);
    EXPECT_FALSE(client.recv(100ms)) << "block 2 sent again on a duplicate ACK";
    client.sendTo(tid, encodeAck(2));
    // The last block is never acknowledged: sent three times, then ERROR 4
    // "Timeout", and the transfer is not a success.
    int lastSends = 0;
    std::optional<std::string> x;
    while ((x = client.recv(2000ms)) && opcodeOf(*x) == 3) lastSends += blockOf(*x) == 3;
    EXPECT_EQ(lastSends, 3);
    ASSERT_TRUE(x);
    EXPECT_EQ(opcodeOf(*x), 5);
    EXPECT_EQ(messageOf(*x), "Timeout");
    EXPECT_TRUE(rig.sink.waitFor("Transfer Complete - Error Transmitting", 1, 5s));
    EXPECT_EQ(rig.sink.count("Transfer Complete - Success"), 0u);
}

TEST(TftpServer, AFailedUploadLeavesTheOldFile) {
    ServerRig rig(200, 2);
    ASSERT_TRUE(rig.started);
    makeFile(rig.base() / "keep", 5000, 3);
    const std::string before = readAll(rig.base() / "keep");
    for (bool clientError : {false, true}) {
        SCOPED_TRACE(clientError ? "client sends ERROR" : "client goes silent");
        RawPeer client;
        client.sendTo(rig.port(), wrq("keep"));
        std::uint16_t tid = 0;
        auto a = client.recv(2000ms, &tid);
        ASSERT_TRUE(a);
        EXPECT_EQ(*a, encodeAck(0));
        client.sendTo(tid, encodeData(1, std::string(512, 'z')));
        a = client.recv(2000ms);
        ASSERT_TRUE(a);
        EXPECT_EQ(*a, encodeAck(1));
        // Block 3 before block 2 is not taken; block 1 again is acknowledged again.
        client.sendTo(tid, encodeData(3, "x"));
        client.sendTo(tid, encodeData(1, std::string(512, 'z')));
        a = client.recv(2000ms);
        ASSERT_TRUE(a);
        EXPECT_EQ(*a, encodeAck(1));
        if (clientError) {
            client.sendTo(tid, encodeError(ErrorCode::DiskFull, "stopped"));
            EXPECT_FALSE(client.recv(300ms)) << "an ERROR was answered";
        }
        EXPECT_TRUE(rig.sink.waitFor("Transfer Complete - Error Transmitting", clientError ? 2 : 1, 5s));
        EXPECT_EQ(readAll(rig.base() / "keep"), before);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(rig.base()), fs::directory_iterator()), 1);
}

TEST(TftpServer, SurvivesRepeatsAndLastAckLossWithAtftp) {
    // atftp repeats its last block after 1 s, within the server's 1.5 s wait for one.
    ServerRig rig(1500, 3);
    auto withTimeout = [](std::vector<std::string> v) {
        v.insert(v.begin() + 1, {"--tftp-timeout", "1"});
        return v;
    };
    ASSERT_TRUE(rig.started);
    TempDir local;
    const std::uint64_t size = 100 * 1024 + 3;
    makeFile(rig.base() / "src", size, 8);
    makeFile(local.path() / "up", size, 9);
    std::atomic<bool> dropped{false};
    struct Case {
        const char* what;
        UdpRelay::Script script;
    };
    const Case cases[] = {
        // atftp itself gives up on a repeated OACK, so only DATA and ACK are repeated.
        {"every DATA and ACK twice",
         [](UdpRelay::Dir, std::size_t, std::string_view d) {
             return UdpRelay::Action{opcodeOf(d) == 3 || opcodeOf(d) == 4 ? 2 : 1, {}};
         }},
        {"the server's last ACK lost once",
         [&](UdpRelay::Dir dir, std::size_t, std::string_view d) {
             UdpRelay::Action a;
             if (dir == UdpRelay::Dir::ToClient && opcodeOf(d) == 4 && blockOf(d) == size / 1024 + 1 &&
                 !dropped.exchange(true))
                 a.copies = 0;
             return a;
         }},
        {"every 100th datagram lost",
         [](UdpRelay::Dir, std::size_t i, std::string_view) { return UdpRelay::Action{i % 100 == 50 ? 0 : 1, {}}; }},
    };
    std::size_t successes = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            UdpRelay relay(rig.port(), c.script);
            RunResult r = run(withTimeout(kAtftp.get(relay.port(), 1024, "src", local.path() / "got")), 60s, local.path());
            ASSERT_EQ(r.status, 0) << r.output;
            EXPECT_TRUE(sameContent(rig.base() / "src", local.path() / "got"));
            EXPECT_TRUE(rig.sink.waitFor("Transfer Complete - Success", ++successes, 5s));
        }
        {
            UdpRelay relay(rig.port(), c.script);
            RunResult r = run(withTimeout(kAtftp.put(relay.port(), 1024, "put", local.path() / "up")), 60s, local.path());
            ASSERT_EQ(r.status, 0) << r.output;
            EXPECT_TRUE(rig.sink.waitFor("Transfer Complete - Success", ++successes, 5s));
            EXPECT_TRUE(sameContent(local.path() / "up", rig.base() / "put"));
        }
    }
    EXPECT_TRUE(dropped.load());
}

TEST(TftpServer, IgnoresARepeatedRequestWhileItsTransferRuns) {
    ServerRig rig(300, 2);
    ASSERT_TRUE(rig.started);
    makeFile(rig.base() / "f", 1000, 1);
    RawPeer client;
    client.sendTo(rig.port(), rrq("f"));
    client.sendTo(rig.port(), rrq("f"));
    std::set<std::uint16_t> tids;
    std::uint16_t from = 0;
    for (int i = 0; i < 2; ++i)
        if (auto d = client.recv(1000ms, &from); d && opcodeOf(*d) == 3) tids.insert(from);
    EXPECT_EQ(tids.size(), 1u);
}

TEST(TftpServer, ABusyServerSaysSo) {
    TempDir base;
    RecordingSink sink;
    TftpServer server(sink);
    ServerSettings s;
    s.port = 0;
    s.anyPort = true;
    s.bindAddress = "127.0.0.1";
    s.baseFolder = base.path();
    s.timeoutMs = 300;
    s.maxSends = 1;
    s.maxTransfers = 1;
    ASSERT_TRUE(server.start(s));
    makeFile(base.path() / "f", 2000, 1);
    RawPeer first, second;
    first.sendTo(server.port(), rrq("f"));
    ASSERT_TRUE(first.recv(2000ms));
    second.sendTo(server.port(), rrq("f"));
    auto d = second.recv(2000ms);
    ASSERT_TRUE(d);
    EXPECT_EQ(opcodeOf(*d), 5);
    EXPECT_EQ(messageOf(*d), "Server busy");
}

TEST(TftpServer, StopEndsEveryTransferAtOnce) {
    ServerRig rig(60000, 3);
    ASSERT_TRUE(rig.started);
    makeFile(rig.base() / "f", 5000, 1);
    std::vector<std::unique_ptr<RawPeer>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<RawPeer>());
        clients.back()->sendTo(rig.port(), i % 2 ? rrq("f") : wrq("w" + std::to_string(i)));
        ASSERT_TRUE(clients.back()->recv(2000ms));
    }
    EXPECT_EQ(rig.server.activeTransfers(), 4u);
    const auto t0 = std::chrono::steady_clock::now();
    rig.server.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_FALSE(rig.server.running());
    EXPECT_EQ(rig.server.activeTransfers(), 0u);
    for (auto& c : clients) {
        auto e = c->recv(1000ms);
        ASSERT_TRUE(e);
        EXPECT_EQ(opcodeOf(*e), 5);
    }
    EXPECT_EQ(rig.sink.count("Transfer Complete - Error Transmitting"), 4u);
    // No half-received file is left.
    EXPECT_EQ(std::distance(fs::directory_iterator(rig.base()), fs::directory_iterator()), 1);
}

TEST(TftpServer, APortInUseIsAClearLogLineAndAnotherPortWorks) {
    RawPeer holder; // holds 127.0.0.1:port
    TempDir base;
    RecordingSink sink;
    TftpServer server(sink);
    ServerSettings s;
    s.port = holder.port();
    s.bindAddress = "127.0.0.1";
    s.baseFolder = base.path();
    EXPECT_FALSE(server.start(s));
    EXPECT_FALSE(server.running());
    EXPECT_TRUE(sink.contains("ERROR: Unable to start the TFTP Server at Port " + std::to_string(holder.port()) +
                              " - Address already in use"));
    s.port = 0;
    EXPECT_FALSE(server.start(s)); // port 0 from the settings is not a port
    s.anyPort = true;
    ASSERT_TRUE(server.start(s));
    EXPECT_TRUE(server.running());
    EXPECT_NE(server.port(), 0);
    // A base folder that can't be opened is refused; the old one stays.
    {
        RecordingSink other;
        TftpServer second(other);
        ServerSettings bad = s;
        bad.baseFolder = base.path() / "missing";
        EXPECT_FALSE(second.start(bad));
        EXPECT_TRUE(other.contains("can't be opened: No such file or directory"));
    }
    EXPECT_FALSE(server.setBaseFolder(base.path() / "missing"));
    EXPECT_EQ(server.baseFolder(), base.path().string() + "/");
}
