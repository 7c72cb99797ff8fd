// The explorer's pure rules as tables: enabling, sort keys, attribute text,
// mount classification, node paths and order, memory load.
#include <gtest/gtest.h>

#include <QApplication>

#include "ftp/explorer/ExplorerRules.h"
#include "ftp/explorer/FileList.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TSysfrm.h"

namespace vn::test {
namespace {

TEST(EnablingRule, Table) {
    struct Case {
        const char* what;
        EnableInput in;
        bool cut, del, invert, rename, quit, upload, up, selectAll;
    } cases[] = {
        {"no current folder", {}, false, false, false, false, false, false, false, false},
        {"three local files selected in the list", {false, true, 3, true, false, true, false},
         true, true, true, false, false, true, true, true},
        {"one remote item selected", {false, true, 1, true, true, true, false}, true, true, true, true, true, false,
         true, true},
        {"tree selection on a remote folder", {true, false, 0, true, true, false, false}, true, true, false, true, true,
         false, true, false},
        {"local folder shown, nothing selected", {false, false, 0, true, false, true, false}, false, false, false,
         false, false, false, true, true},
    };
    for (const auto& c : cases) {
        EnableState s = enablingRule(c.in);
        EXPECT_TRUE(s.connect && s.quick && s.refresh && s.system) << c.what;
        EXPECT_EQ(s.cut, c.cut) << c.what;
        EXPECT_EQ(s.copy, c.cut) << c.what;
        EXPECT_EQ(s.del, c.del) << c.what;
        EXPECT_EQ(s.invert, c.invert) << c.what;
        EXPECT_EQ(s.rename, c.rename) << c.what;
        EXPECT_EQ(s.quit, c.quit) << c.what;
        EXPECT_EQ(s.types, c.quit) << c.what;
        EXPECT_EQ(s.upload, c.upload) << c.what;
        EXPECT_EQ(s.up, c.up) << c.what;
        EXPECT_EQ(s.newFolder, c.up) << c.what;
        EXPECT_EQ(s.selectAll, c.selectAll) << c.what;
    }
}

FileItem local(const char* name, ItemKind kind, std::int64_t size, std::int64_t time, const char* type = "") {
    FileItem i;
    i.kind = kind;
    i.name = name;
    i.fold = foldKey(name);
    i.type = QString::fromUtf8(type);
    i.typeFold = foldKey(type);
    i.sizeKey = size;
    i.timeKey = time;
    return i;
}

std::vector<std::string> sorted(std::vector<FileItem> items, SortColumn c, bool remote) {
    std::stable_sort(items.begin(), items.end(), [&](const FileItem& a, const FileItem& b) {
        return itemLess(a, b, c, remote);
    });
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(i.name);
    return out;
}

TEST(ServerCaption, PortAndLoginOnlyWhenTheyTellServersApart) {
    struct Case {
        const char* host;
        int port;
        const char* login;
        bool shared;
        const char* caption;
    } cases[] = {
        {"ftp.example.org", 21, "anonymous", false, "ftp.example.org[FTP]"},
        {"127.0.0.1", 2121, "user", false, "127.0.0.1:2121[FTP]"},
        {"127.0.0.1", 21, "alice", true, "alice@127.0.0.1[FTP]"},
        {"127.0.0.1", 2121, "bob", true, "bob@127.0.0.1:2121[FTP]"},
        {"127.0.0.1", 2121, "", true, "127.0.0.1:2121[FTP]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(serverCaption(c.host, c.port, "FTP", c.login, c.shared), c.caption) << c.caption;
}

TEST(SortKeys, Table) {
    const std::int64_t big = 5'000'000'000LL; // beyond 32 bits
    std::vector<FileItem> items = {
        local("b.txt", ItemKind::LocalFile, 10, 600, ".txt"),
        local("A.TXT", ItemKind::LocalFile, big, 60, ".TXT"),
        local("dir", ItemKind::LocalFolder, -1, 0, "Folder"),
        local("c.bin", ItemKind::LocalFile, 10, 600, ".bin"),
        local("Zdir", ItemKind::LocalFolder, -1, 1200, "Folder"),
    };
    struct Case {
        SortColumn column;
        std::vector<std::string> order;
    } cases[] = {
        {SortColumn::Name, {"dir", "Zdir", "A.TXT", "b.txt", "c.bin"}},
        {SortColumn::Type, {"dir", "Zdir", "c.bin", "A.TXT", "b.txt"}},
        // Folders (no size) first, then the largest down; equal sizes keep their order.
        {SortColumn::Size, {"dir", "Zdir", "A.TXT", "b.txt", "c.bin"}},
        // Folders first, newest first, the same minute by name.
        {SortColumn::Modified, {"Zdir", "dir", "b.txt", "c.bin", "A.TXT"}},
    };
    for (const auto& c : cases) EXPECT_EQ(sorted(items, c.column, false), c.order) << static_cast<int>(c.column);
}

TEST(SortKeys, RemoteLinksCountAsFoldersAndModifiedSortsByName) {
    std::vector<FileItem> items = {local("z", ItemKind::RemoteFile, 1, 0), local("lnk", ItemKind::RemoteLink, -1, 0),
                                   local("a", ItemKind::RemoteFile, 2, 0), local("d", ItemKind::RemoteFolder, -1, 0)};
    EXPECT_EQ(sorted(items, SortColumn::Name, true), (std::vector<std::string>{"d", "lnk", "a", "z"}));
    EXPECT_EQ(sorted(items, SortColumn::Modified, true), (std::vector<std::string>{"d", "lnk", "a", "z"}));
}

TEST(SortKeys, IsAStrictOrdering) {
    std::vector<FileItem> items = {local("x", ItemKind::LocalFile, 1, 0), local("X", ItemKind::LocalFile, 1, 0),
                                   local("d", ItemKind::LocalFolder, -1, 0)};
    for (SortColumn c : {SortColumn::Name, SortColumn::Type, SortColumn::Size, SortColumn::Modified})
        for (const auto& a : items) {
            EXPECT_FALSE(itemLess(a, a, c, false));
            for (const auto& b : items) EXPECT_FALSE(itemLess(a, b, c, false) && itemLess(b, a, c, false));
        }
}

TEST(SortKeys, CaseFoldingCoversNonAsciiNamesAndKeepsBytes) {
    EXPECT_EQ(foldKey("\xc3\x89" "COLE.TXT"), foldKey("\xc3\xa9" "cole.txt")); // É / é
    EXPECT_EQ(foldKey("ABC"), "abc");
    // A name that is not UTF-8 still gets a key and shows as something.
    EXPECT_FALSE(foldKey("caf\xe9").empty());
    EXPECT_EQ(displayText("caf\xe9").size(), 4);
}

// A listing of huge names is held once, as bytes: the shown name is decoded
// when asked, and a name that folds to itself keeps no second copy.
TEST(FileItems, HugeNamesAreHeldOnce) {
    ListingEntry lower{std::string(65000, 'n'), ListingEntry::Kind::File, "1", "Jan 1 2026", "-rw-r--r--", {}, 1, -1, {}};
    ListingEntry mixed{"Big.TXT", ListingEntry::Kind::File, "2", "Jan 1 2026", "-rw-r--r--", {}, 2, -1, {}};
    const std::vector<FileItem> items = remoteItems({lower, mixed}, "/pub/");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0].fold.empty());
    EXPECT_EQ(items[0].foldedName(), lower.name);
    EXPECT_EQ(items[0].display().size(), 65000);
    EXPECT_EQ(items[1].foldedName(), "big.txt");
    EXPECT_EQ(items[1].display(), QStringLiteral("Big.TXT"));
    EXPECT_EQ(items[1].type, QStringLiteral(".TXT"));
}

TEST(AttributeText, Table) {
    struct Case {
        bool dir, special, hidden, readOnly;
        const char* text;
    } cases[] = {
        {false, false, false, false, "_____w"}, {true, false, false, false, "_d___w"},
        {false, false, true, false, "____hw"},  {false, false, false, true, "_____r"},
        {false, true, false, false, "___s_w"},  {true, false, true, true, "_d__hr"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatejaAtributs(c.dir, c.special, c.hidden, c.readOnly), c.text);
}

TEST(MountClassification, Table) {
    struct Case {
        MountEntry m;
        MountClass cls;
        DriveKind kind;
    } cases[] = {
        {{"/", "ext4", "/dev/sda1", ""}, MountClass::Skip, DriveKind::Fixed},
        {{"/home", "ext4", "/dev/sda2", ""}, MountClass::Fixed, DriveKind::Fixed},
        {{"/proc", "proc", "proc", ""}, MountClass::Skip, DriveKind::Fixed},
        {{"/sys/fs/cgroup", "cgroup2", "cgroup2", ""}, MountClass::Skip, DriveKind::Fixed},
        {{"/snap/core/1", "squashfs", "/dev/loop0", ""}, MountClass::Skip, DriveKind::Fixed},
        {{"/run/user/1000", "tmpfs", "tmpfs", ""}, MountClass::Skip, DriveKind::RamDisk},
        {{"/dev/shm", "tmpfs", "tmpfs", ""}, MountClass::Skip, DriveKind::RamDisk},
        {{"/media/usb", "vfat", "/dev/sdb1", "STICK"}, MountClass::Removable, DriveKind::Removable},
        {{"/run/media/me/CD", "iso9660", "/dev/sr0", "CD"}, MountClass::Removable, DriveKind::CdRom},
        {{"/srv/share", "nfs4", "host:/share", ""}, MountClass::Removable, DriveKind::Remote},
        {{"/home/me/remote", "fuse.sshfs", "me@host:", ""}, MountClass::Removable, DriveKind::Remote},
        {{"/scratch", "tmpfs", "tmpfs", ""}, MountClass::Fixed, DriveKind::RamDisk},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(classifyMount(c.m), c.cls) << c.m.mountPoint;
        EXPECT_EQ(driveKindOf(c.m), c.kind) << c.m.mountPoint;
    }
    EXPECT_EQ(rootCaption("DATA", "/data"), "DATA (/data)");
    EXPECT_EQ(rootCaption("", "/data"), "(/data)");
}

TEST(MountInfo, ParsesTheKernelLines) {
    auto m = parseMountInfo(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "30 22 0:5 / /mnt/with\\040blank rw - nfs4 host:/x rw\n"
        "bad line\n");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].mountPoint, "/");
    EXPECT_EQ(m[0].fsType, "ext4");
    EXPECT_EQ(m[1].mountPoint, "/mnt/with blank");
    EXPECT_EQ(m[1].source, "host:/x");
    auto of = mountOf("/mnt/with blank/sub/", m);
    ASSERT_TRUE(of);
    EXPECT_EQ(of->fsType, "nfs4");
    EXPECT_EQ(mountOf("/mnt/with blanker/", m)->fsType, "ext4");
}

TEST(NodePaths, RetornaDirectoriAndOrder) {
    TNodeInfo remote{NodeKind::RemoteFolder, "/pub/", "linux", "127.0.0.1", 7, false, 0, false};
    EXPECT_EQ(RetornaDirectori(remote), "/pub/linux/");
    TNodeInfo chain{NodeKind::RemoteFolder, "/pub/", "", "127.0.0.1", 7, false, 0, false};
    EXPECT_EQ(RetornaDirectori(chain), "/pub/");
    TNodeInfo local{NodeKind::LocalFolder, "/data/", "Work", "", 0, false, -1, false};
    EXPECT_EQ(RetornaDirectori(local), "/data/Work/");
    TNodeInfo root{NodeKind::Drive, "/", "", "", 0, false, -1, false};
    TNodeInfo server{NodeKind::Server, "/", "", "127.0.0.1", 3, false, 0, false};
    // The same path "/" on both sides: the side comes from the connection.
    EXPECT_TRUE(treeLess(root, server));
    EXPECT_FALSE(treeLess(server, root));
    EXPECT_TRUE(treeLess(chain, remote));
    TNodeInfo upper{NodeKind::LocalFolder, "/data/", "apple", "", 0, false, -1, false};
    TNodeInfo lower{NodeKind::LocalFolder, "/data/", "Banana", "", 0, false, -1, false};
    EXPECT_TRUE(treeLess(upper, lower));
    EXPECT_EQ(ExtreuDirNet("/a/"), "/a");
    EXPECT_EQ(ExtreuDirNet(""), "");
}

TEST(MemoryLoad, FromMeminfo) {
    EXPECT_EQ(memoryLoadFromMeminfo("MemTotal:  1000 kB\nMemFree: 100 kB\nMemAvailable:   250 kB\n"), 75);
    EXPECT_EQ(memoryLoadFromMeminfo("MemTotal: 1000 kB\nMemFree: 500 kB\nCached: 100 kB\n"), 40);
    EXPECT_EQ(memoryLoadFromMeminfo("nothing"), -1);
}

} // namespace
} // namespace vn::test
