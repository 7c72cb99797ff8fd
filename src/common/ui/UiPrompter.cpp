#include "common/ui/UiPrompter.h"

#include <atomic>

#include "common/ui/QtPrompter.h"

namespace vn {
namespace {

std::atomic<UiPrompter*> g_installed{nullptr};

UiPrompter& defaultPrompter() {
    static QtPrompter p;
    return p;
}

} // namespace

UiPrompter& uiPrompter() {
    UiPrompter* p = g_installed.load(std::memory_order_acquire);
    return p ? *p : defaultPrompter();
}

void setUiPrompter(UiPrompter* p) {
    g_installed.store(p, std::memory_order_release);
}

} // namespace vn
