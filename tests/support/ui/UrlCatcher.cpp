#include "UrlCatcher.h"

#include <QDesktopServices>

namespace vn::test {

namespace {
constexpr const char* kSchemes[] = {"file", "mailto", "https"};
}

UrlCatcher::UrlCatcher() {
    for (const char* scheme : kSchemes) QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
}

UrlCatcher::~UrlCatcher() {
    for (const char* scheme : kSchemes) QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

} // namespace vn::test
