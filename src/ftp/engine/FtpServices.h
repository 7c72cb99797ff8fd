#pragma once
// What an FTP engine uses that outlives it and that several engines (an
// explorer window's, the upload workers') share: handed to the engine, never
// reached for through global files, so tests and workers can give their own.
#include <filesystem>
#include <functional>
#include <string>

namespace vn {

struct FtpServices {
    // Remembers a host the user logged in to (the visited-host history); empty: nothing is kept.
    std::function<void(const std::string& host)> rememberHost;
    // The resume store ("rest.ini").
    std::filesystem::path resumeFile;
    // The folder below which windows keep their temporary copies ("TEMP").
    std::filesystem::path tempFolder;
    // The certificates trusted always ("certificates.ini"); empty: none kept.
    std::filesystem::path trustFile;

    // The data folder's: the [FTP] history of "varnelo.ini", "rest.ini" and "TEMP".
    static FtpServices standard();
};

} // namespace vn
