#pragma once
// "TFTP.ini" in the data folder: [TFTPClient] and [TFTPServer].
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/IniFile.h"

namespace vn::tftp {

inline constexpr std::string_view kIniName = "TFTP.ini";
inline constexpr std::string_view kClientSection = "TFTPClient";
inline constexpr std::string_view kServerSection = "TFTPServer";
// Key names, as written in the file.
inline constexpr std::string_view kPortKey = "Port";
inline constexpr std::string_view kBufferSizeKey = "BufferSize";
inline constexpr std::string_view kTimeOutKey = "TimeOut";
inline constexpr std::string_view kRequestedBlockKey = "RequestedBlock";
inline constexpr std::string_view kFileTypeKey = "FileType";
inline constexpr std::string_view kBaseFolderKey = "BaseFolder";

enum class Mode { Octet = 0, NetAscii = 1 };
// "octet" or "netascii": the name in the request only; bytes move unchanged.
const char* modeName(Mode m);

struct ClientSettings {
    int port = 69;
    int bufferSize = 8192;     // kept and shown; every transfer sizes its own datagrams
    int timeoutMs = 3000;      // wait for each packet before sending again
    int requestedBlock = 1024; // asked for with "blksize", clamped to 8..65464 when sent
    Mode mode = Mode::Octet;
    int maxSends = 3;          // sends of one packet before "Timeout"
    int dallyMs = 500;         // after the last block: wait for a repeat (never above timeoutMs)
};

struct ServerSettings {
    int port = 69;             // 1..65535; 0 only with anyPort
    bool anyPort = false;      // port 0 takes any free port (see TftpServer::port())
    int bufferSize = 8192;     // request datagram buffer, kept within 516..65536
    std::filesystem::path baseFolder;
    std::string bindAddress = "0.0.0.0";
    int timeoutMs = 1500;      // wait for each packet before sending again
    int maxSends = 3;          // sends of one packet before ERROR 4 "Timeout"
    int maxTransfers = 64;     // more at once get ERROR 0 "Server busy"
};

// dataFile("TFTP.ini").
std::filesystem::path iniPath();
// The user's home folder: the default base folder.
std::filesystem::path homeFolder();

// Each key with its default.
ClientSettings readClientSettings(const IniFile& ini);
// A box's new value: stored (and true) only when above 0; FileType takes 0 and 1.
bool storeClientSetting(IniFile& ini, std::string_view key, long long value);

// Port, BufferSize and BaseFolder (home when missing or not an existing folder;
// fellBack tells the window to beep).
ServerSettings readServerSettings(const IniFile& ini, bool* fellBack = nullptr);
// A typed base folder: an existing folder with one trailing '/', else the
// home folder and fellBack set.
std::string effectiveBaseFolder(std::string_view typed, bool& fellBack);

} // namespace vn::tftp
