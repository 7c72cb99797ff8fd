// The pure parts of a transfer: the type a file goes with, the rate and
// summary texts, the size a RETR reply announces, the file name of a path.
#include <gtest/gtest.h>

#include "ftp/engine/transfer/Transfer.h"

namespace vn {
namespace {

TEST(TransferType, AutoChoosesByExtension) {
    struct Case {
        TransferMode mode;
        const char* name;
        char letter;
    } cases[] = {
        {TransferMode::Auto, "INDEX.HTML", 'A'},
        {TransferMode::Auto, "readme.TXT", 'A'},
        {TransferMode::Auto, "page.htm", 'A'},
        {TransferMode::Auto, "/pub/docs/notes.txt", 'A'},
        {TransferMode::Auto, "data.bin", 'I'},
        {TransferMode::Auto, "Makefile", 'I'},
        {TransferMode::Auto, "archive.txt.gz", 'I'},
        {TransferMode::Auto, "/pub/x.txt/file", 'I'}, // a folder's extension is not the file's
        {TransferMode::Auto, ".txt", 'A'},
        {TransferMode::Auto, "page.shtml", 'I'},
        {TransferMode::Ascii, "data.bin", 'A'},
        {TransferMode::Binary, "INDEX.HTML", 'I'},
    };
    for (const auto& c : cases) EXPECT_EQ(typeLetterFor(c.mode, c.name), c.letter) << c.name;
}

TEST(TransferText, RatesAndTimes) {
    struct Case {
        std::uint64_t bytes;
        std::int64_t ms;
        const char* speed;
        const char* summary;
        const char* time;
    } cases[] = {
        {523456, 1000000, "Transmitting file... [523.456] Bytes/sec (1000 secs)", "\xC2\xB7)Speed = 523.456 Bytes/sec",
         "\xC2\xB7)Time needed = 1000 secs."},
        {123456, 10000, "Transmitting file... [12.346] KBytes/sec (10 secs)", "\xC2\xB7)Speed = 12.346 KBytes/sec",
         "\xC2\xB7)Time needed = 10 secs."},
        {1047, 2000, "Transmitting file... [523.5] Bytes/sec (2 secs)", "\xC2\xB7)Speed = 523.5 Bytes/sec",
         "\xC2\xB7)Time needed = 2 secs."},
        {1000, 1000, "Transmitting file... [1] KBytes/sec (1 secs)", "\xC2\xB7)Speed = 1 KBytes/sec",
         "\xC2\xB7)Time needed = 1 secs."},
        {999, 1000, "Transmitting file... [999] Bytes/sec (1 secs)", "\xC2\xB7)Speed = 999 Bytes/sec",
         "\xC2\xB7)Time needed = 1 secs."},
        // Bytes that moved never show a zero time or speed: under a microsecond counts as one.
        {4096, 0, "Transmitting file... [4096000] KBytes/sec (0.000001 secs)",
         "\xC2\xB7)Speed = 4096000 KBytes/sec", "\xC2\xB7)Time needed = 0.000001 secs."},
        {5000000000ull, 1234, "Transmitting file... [4051863.857] KBytes/sec (1.234 secs)",
         "\xC2\xB7)Speed = 4051863.857 KBytes/sec", "\xC2\xB7)Time needed = 1.234 secs."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bytes) + " bytes in " + std::to_string(c.ms) + " ms");
        EXPECT_EQ(speedLine(c.bytes, std::chrono::milliseconds(c.ms)), c.speed);
        EXPECT_EQ(speedSummaryLine(c.bytes, std::chrono::milliseconds(c.ms)), c.summary);
        EXPECT_EQ(timeNeededLine(std::chrono::milliseconds(c.ms)), c.time);
    }
}

TEST(TransferText, FastFilesAreTimedToTheMicrosecond) {
    using namespace std::chrono_literals;
    // A small file that arrives within a millisecond still has a time and a speed.
    EXPECT_EQ(timeNeededLine(250us), "\xC2\xB7)Time needed = 0.00025 secs.");
    EXPECT_EQ(speedSummaryLine(1024, 250us), "\xC2\xB7)Speed = 4096 KBytes/sec");
    EXPECT_EQ(speedLine(1024, 250us), "Transmitting file... [4096] KBytes/sec (0.00025 secs)");
    // One byte in a very long time is slow, never nothing.
    EXPECT_EQ(speedSummaryLine(1, std::chrono::hours(1000)), "\xC2\xB7)Speed = 0.001 Bytes/sec");
    EXPECT_EQ(speedSummaryLine(0, 5s), "\xC2\xB7)Speed = 0 Bytes/sec");
}

TEST(TransferText, AnnouncedSize) {
    struct Case {
        const char* reply;
        std::uint64_t size;
    } cases[] = {
        {"150 Opening BINARY mode data connection for f (12345 bytes).", 12345},
        {"150 Opening data connection (12345)", 0}, // the number runs to the end: "12345)" is no number
        {"150 Opening data connection (12345", 12345},
        {"150 Here it comes.", 0},
        {"150 (bytes) (12 bytes)", 0},
        {"150 Opening (5368709243 bytes)", 5368709243ull},
        {"150 Opening ( 12 bytes)", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(expectedSizeFromReply(c.reply), c.size) << c.reply;
}

TEST(TransferText, FileNameOfARemotePath) {
    EXPECT_EQ(retornamfitxerdesti("/pub/linux/kernel.tar.gz"), "kernel.tar.gz");
    EXPECT_EQ(retornamfitxerdesti("kernel.tar.gz"), "kernel.tar.gz");
    EXPECT_EQ(retornamfitxerdesti("/pub/"), "");
    EXPECT_EQ(retornamfitxerdesti("/a b/c d"), "c d");
}

TEST(TransferText, BlocksAreWholePacketLengths) {
    struct Case {
        int packetLength;
        std::size_t io;
    } cases[] = {
        {4096, 256 * 1024}, {32768, 256 * 1024}, {65536, 256 * 1024}, {1, 256 * 1024},
        {0, 256 * 1024},    {-5, 256 * 1024},    {3000, 3000 * 87},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FtpTransfer::ioSize(c.packetLength), c.io) << c.packetLength;
        std::size_t block = static_cast<std::size_t>(std::clamp(c.packetLength, 1, 32768));
        EXPECT_EQ(FtpTransfer::ioSize(c.packetLength) % block, 0u);
    }
}

} // namespace
} // namespace vn
