#pragma once
// The "TEMP" folder in the data folder is shared by every explorer window of
// every running instance. Each window keeps its temporary files (the middle
// of a server-to-server copy, remote files opened) in a folder of its own,
// "TEMP/w<pid>-<n>", and removes only that folder when it closes, so a file
// another window is still using is never deleted. sweepStale() removes the
// folders of instances that are no longer running (left by a crash).
#include <filesystem>
#include <string>

namespace vn {

std::filesystem::path tempRoot(); // dataFile("TEMP")

class TempFiles {
public:
    TempFiles();
    // Removes the window's folder (clean()).
    ~TempFiles();
    TempFiles(const TempFiles&) = delete;
    TempFiles& operator=(const TempFiles&) = delete;

    // The window's folder, made (0700, with "TEMP") when missing; empty when
    // it cannot be made.
    std::filesystem::path folder();
    // folder() / name; empty when the folder cannot be made or name is not one
    // safe component.
    std::filesystem::path path(const std::string& name);
    // Removes the window's folder with what it holds; the next folder() makes
    // it again.
    void clean();

    // Removes "w<pid>-<n>" folders whose process no longer runs.
    static void sweepStale();

private:
    std::string name_;
};

} // namespace vn
