#pragma once
// Keeping a file's modification time across a transfer (the FTP option
// KeepFileTimes): a download gets the remote file's time (MDTM), an upload
// gives the remote file the local one (MFMT). Only when the server lists the
// command; a refusal is logged and leaves the transfer as it was.
#include <cstdint>
#include <optional>
#include <string>

#include "ftp/engine/FtpEngine.h"

namespace vn {

// Sets the local file's modification time to the remote file's.
void keepDownloadTime(FtpEngine& engine, SessionId id, const std::string& remote, const std::string& local);
// Sets the remote file's modification time to the local file's.
void keepUploadTime(FtpEngine& engine, SessionId id, const std::string& local, const std::string& remote);

// The local file's modification time in whole seconds; nullopt when it can't be read.
std::optional<std::int64_t> localModificationTime(const std::string& path);
// False (errno set) when the time could not be set.
bool setLocalModificationTime(const std::string& path, std::int64_t seconds);

} // namespace vn
