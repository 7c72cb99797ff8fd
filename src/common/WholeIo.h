#pragma once
// Reads and writes on a descriptor that finish the whole amount: short
// counts and EINTR are retried, so callers see only success, the end of the
// file, or an error with errno set.
#include <cstddef>
#include <string_view>

namespace vn {

// Writes all n bytes; false with errno set (ENOSPC when the file takes no more).
bool writeFully(int fd, const char* data, std::size_t n);
inline bool writeFully(int fd, std::string_view data) { return writeFully(fd, data.data(), data.size()); }

// Reads up to n bytes, fewer only at the end of the file; -1 with errno set on an error.
long readFully(int fd, char* buf, std::size_t n);

} // namespace vn
