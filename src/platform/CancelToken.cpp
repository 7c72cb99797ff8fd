#include "platform/CancelToken.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vn {

CancelToken::CancelToken() { fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

CancelToken::~CancelToken() {
    if (fd_ >= 0) ::close(fd_);
}

void CancelToken::cancel() {
    if (cancelled_.exchange(true)) return;
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(fd_, &one, sizeof one);
}

} // namespace vn
