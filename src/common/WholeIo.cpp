#include "common/WholeIo.h"

#include <cerrno>
#include <unistd.h>

namespace vn {

bool writeFully(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        ssize_t k = ::write(fd, data, n);
        if (k < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        // A write that takes nothing would loop for ever.
        if (k == 0) {
            errno = ENOSPC;
            return false;
        }
        data += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

long readFully(int fd, char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        ssize_t k = ::read(fd, buf + got, n - got);
        if (k < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (k == 0) break;
        got += static_cast<std::size_t>(k);
    }
    return static_cast<long>(got);
}

} // namespace vn
