#pragma once
// An FtpEngine with a copier for the copy tests: the transfer tests' recording
// sink (plus the total gauge) and scripted prompter, a folder of local files,
// and helpers that build and compare folder trees.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>

#include "TransferFixture.h"
#include "ftp/engine/copy/Clipboard.h"
#include "ftp/engine/copy/Copier.h"
#include "ftp/engine/copy/CopyPaths.h"
#include "ftp/engine/copy/LocalFiles.h"
#include "ftp/engine/copy/TempFiles.h"

namespace vn::test {

namespace fs = std::filesystem;

class CopySink : public TransferSink {
public:
    void totalProgress(std::uint64_t done, std::uint64_t total) override {
        std::lock_guard l(m);
        totals.emplace_back(done, total);
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> totals;
};

// What a tree holds: relative path -> "dir", "link:" + target, or the bytes.
inline std::map<std::string, std::string> treeContents(const fs::path& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& p = it->path();
        std::string rel = p.lexically_relative(root).string();
        if (it->is_symlink()) out[rel] = "link:" + fs::read_symlink(p).string();
        else if (it->is_directory()) out[rel] = "dir";
        else out[rel] = readFile(p);
    }
    return out;
}

// A nested tree of mixed sizes (empty, small, over a megabyte), an empty
// folder, a name with a blank and UTF-8 bytes.
inline void makeTree(const fs::path& root, std::uint32_t seed = 1) {
    fs::create_directories(root / "sub" / "deeper");
    fs::create_directories(root / "empty");
    writeFile(root / "a.txt", "alpha\r\nbeta\r\n");
    writeFile(root / "zero.bin", "");
    writeFile(root / "big.bin", patternBytes((1 << 20) + 333, seed));
    writeFile(root / "sub" / "s p a c e.bin", patternBytes(4096, seed + 1));
    writeFile(root / "sub" / "deeper" / "\xC3\xA9t\xC3\xA9.dat", patternBytes(70000, seed + 2));
}

// Lets a server's unprivileged user read, write and delete below `root`.
inline void openUp(const fs::path& root) {
    ::chmod(root.c_str(), 0777);
    for (auto& e : fs::recursive_directory_iterator(root))
        ::chmod(e.path().c_str(), e.is_directory() ? 0777 : 0666);
}

// Writes past `bytes` fail with EFBIG (as on a full disk) while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        old_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit rl{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &rl);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_);
    }

private:
    rlimit saved_{};
    void (*old_)(int);
};

struct CopyFixture : TransferFixtureT<CopySink> {
    TempFiles temp;
    FtpCopier copier{engine, transfer, temp};
    fs::path dir = scratchDir("copy");

    void SetUp() override {
        TransferFixtureT<CopySink>::SetUp();
        copier.setRecycleMode(RecycleMode::Delete);
    }
    SessionId connect(uint16_t port, bool passive, std::string login = "user", std::string password = "pw") {
        auto id = engine.ConnectarAServidor(params(port, passive, std::move(login), std::move(password)));
        EXPECT_TRUE(id) << sink.dump();
        sink.clear();
        prompter.asked.clear(); // the welcome box
        return id.value_or(0);
    }
    Place remote(SessionId id) { return Place{id, "127.0.0.1"}; }
    static Place here() { return {}; }
    std::string d(const std::string& rel) const { return (dir / rel).string(); }
    std::string folder(const std::string& rel) const { return withSlash((dir / rel).string()); }
    static ClipEntry localEntry(const std::string& path) { return ClipEntry{0, "", path, false, -1}; }
    ClipEntry remoteEntry(SessionId id, const std::string& path) { return ClipEntry{id, "127.0.0.1", path, false, -1}; }
    std::vector<std::string> asked() {
        std::lock_guard l(prompter.m);
        return prompter.asked;
    }
};

} // namespace vn::test
