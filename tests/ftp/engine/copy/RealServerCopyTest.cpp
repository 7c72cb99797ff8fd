// Folder trees in all four directions against real servers on loopback, in
// both data connection modes, compared byte for byte: local and a server,
// two sessions of one server, and vsftpd to pyftpdlib and back.
#include "CopyFixture.h"

#include "RealFtpServers.h"

namespace vn::test {
namespace {

template <class Server>
struct RealCopy : CopyFixture {
    Server server;

    void SetUp() override {
        CopyFixture::SetUp();
        ASSERT_TRUE(server.ready()) << server.error();
        copier.setTransferMode(TransferMode::Binary);
    }
    SessionId anonymous(RealFtpServer& s, bool passive) { return connect(s.port(), passive, "anonymous", "t@example.org"); }
    // The tree as the server sees it at a path below its anonymous root.
    static fs::path onDisk(RealFtpServer& s, const std::string& path) { return s.root() / path.substr(1); }
};

using Servers = ::testing::Types<Vsftpd, PyFtpd>;
TYPED_TEST_SUITE(RealCopy, Servers);

TYPED_TEST(RealCopy, TreeGoesUpDownAndAcrossInBothModes) {
    makeTree(this->dir / "orig" / "tree");
    const auto expected = treeContents(this->dir / "orig" / "tree");
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        const std::string mode = passive ? "p" : "a";
        SessionId one = this->anonymous(this->server, passive), two = this->anonymous(this->server, passive);

        // Local to server.
        fs::create_directories(this->server.uploadDir() / mode);
        openUp(this->server.uploadDir());
        ASSERT_EQ(this->copier.CopiarElement(this->here(), this->remote(one), "/upload/" + mode + "/",
                                             this->folder("orig/tree")),
                  TransferResult::Copied)
            << this->sink.dump();
        EXPECT_EQ(treeContents(this->onDisk(this->server, "/upload/" + mode + "/tree")), expected);

        // Server to server between two sessions of the one server.
        openUp(this->server.uploadDir());
        ASSERT_EQ(this->copier.CopiarDirectori(this->remote(one), this->remote(two), "/upload/" + mode + "-copy",
                                               "/upload/" + mode + "/tree/"),
                  TransferResult::Copied)
            << this->sink.dump();
        EXPECT_EQ(treeContents(this->onDisk(this->server, "/upload/" + mode + "-copy")), expected);

        // Server to local, by a paste of the clipboard file.
        ASSERT_TRUE(writeClipboard(false, {this->remoteEntry(two, "/upload/" + mode + "-copy/")}));
        fs::create_directories(this->dir / ("back-" + mode));
        PasteResult r = this->copier.paste(*readClipboard(), {this->here(), this->folder("back-" + mode)});
        EXPECT_EQ(r.copied, 1) << this->sink.dump();
        EXPECT_EQ(treeContents(this->dir / ("back-" + mode) / (mode + "-copy")), expected);
        EXPECT_TRUE(this->asked().empty());
        EXPECT_TRUE(this->temp.folder().empty() || fs::is_empty(this->temp.folder()));
    }
}

TYPED_TEST(RealCopy, CutFromTheServerMovesTheTree) {
    makeTree(this->server.uploadDir() / "moving");
    openUp(this->server.uploadDir());
    const auto expected = treeContents(this->server.uploadDir() / "moving");
    SessionId id = this->anonymous(this->server, true);
    fs::create_directories(this->dir / "here");
    PasteResult r = this->copier.paste(Clipboard{true, {this->remoteEntry(id, "/upload/moving/")}},
                                       {this->here(), this->folder("here")});
    EXPECT_EQ(r.copied, 1) << this->sink.dump();
    EXPECT_EQ(r.deleted, 1) << this->sink.dump();
    EXPECT_EQ(treeContents(this->dir / "here" / "moving"), expected);
    EXPECT_FALSE(fs::exists(this->server.uploadDir() / "moving"));
}

TYPED_TEST(RealCopy, CutToTheServerMovesTheTree) {
    makeTree(this->dir / "moving");
    const auto expected = treeContents(this->dir / "moving");
    SessionId id = this->anonymous(this->server, false);
    PasteResult r = this->copier.paste(Clipboard{true, {this->localEntry(this->folder("moving"))}},
                                       {this->remote(id), "/upload/"});
    EXPECT_EQ(r.deleted, 1) << this->sink.dump();
    EXPECT_EQ(treeContents(this->server.uploadDir() / "moving"), expected);
    EXPECT_FALSE(fs::exists(this->dir / "moving"));
}

TEST(RealCopyBetweenServers, VsftpdToPyftpdAndBack) {
    CopySink sink;
    PlainPrompter prompter;
    FtpEngine engine{sink, prompter};
    FtpTransfer transfer{engine};
    TempFiles temp;
    FtpCopier copier{engine, transfer, temp};
    transfer.setProgressInterval(std::chrono::milliseconds(0));
    copier.setTransferMode(TransferMode::Binary);
    Vsftpd vs;
    PyFtpd py;
    ASSERT_TRUE(vs.ready()) << vs.error();
    ASSERT_TRUE(py.ready()) << py.error();
    makeTree(vs.root() / "pub" / "tree", 9);
    const auto expected = treeContents(vs.root() / "pub" / "tree");
    auto login = [&](RealFtpServer& s, bool passive) {
        auto id = engine.ConnectarAServidor(CopyFixture::params(s.port(), passive, "anonymous", "t@example.org"));
        EXPECT_TRUE(id) << sink.dump();
        return id.value_or(0);
    };
    SessionId v = login(vs, true), p = login(py, false);
    PasteResult there = copier.paste(Clipboard{false, {ClipEntry{v, "127.0.0.1", "/pub/tree/", true, -1}}},
                                     {Place{p, "127.0.0.1"}, "/"});
    EXPECT_EQ(there.copied, 1) << sink.dump();
    EXPECT_EQ(treeContents(py.root() / "tree"), expected);
    PasteResult back = copier.paste(Clipboard{true, {ClipEntry{p, "127.0.0.1", "/tree/", false, -1}}},
                                    {Place{v, "127.0.0.1"}, "/upload/"});
    EXPECT_EQ(back.copied, 1) << sink.dump();
    EXPECT_EQ(back.deleted, 1) << sink.dump();
    EXPECT_EQ(treeContents(vs.uploadDir() / "tree"), expected);
    EXPECT_FALSE(fs::exists(py.root() / "tree"));
    EXPECT_TRUE(temp.folder().empty() || fs::is_empty(temp.folder()));
}

} // namespace
} // namespace vn::test
