#include <gtest/gtest.h>

#include "ftp/engine/FtpEngine.h"
#include "ftp/engine/QuickHost.h"

namespace vn {
namespace {

TEST(QuickHost, CommandLineParameterGivesTheHost) {
    struct Case {
        const char* parameter;
        const char* host;
    } cases[] = {
        {"ftp.example.org", "ftp.example.org"},
        {"ftp://ftp.example.org", "ftp.example.org"},
        {"ftp:ftp.example.org", "ftp.example.org"},
        {"ftp:///x", "x"},
        {"host:21", "21"},                         // the port text becomes the host, as before
        {"ftp://h.example/pub/", "h.example/pub/"}, // what follows the name stays
        {"", ""},
        {"10.0.0.1", "10.0.0.1"},
    };
    for (const auto& c : cases) EXPECT_EQ(mostrarQuickHost(c.parameter), c.host) << c.parameter;
}

TEST(PwdReply, WorkingFolderFromTheQuotedPath) {
    struct Case {
        const char* reply;
        const char* folder;
    } cases[] = {
        {"257 \"/pub/incoming\" is the current directory", "/pub/incoming/"},
        {"257 \"/\" is the current directory", "/"},
        {"257 \"/pub/\"", "/pub/"},
        {"257 \"/a \"\"b\"\"\" quoted", "/a \"b\"/"},
        {"257 \"/no/closing", "/no/closing/"},
        {"550 Permission denied", "/"},
        {"", "/"},
        {"257 /plain/path", "/plain/path/"},
    };
    for (const auto& c : cases) EXPECT_EQ(folderFromPwdReply(c.reply), c.folder) << c.reply;
}

} // namespace
} // namespace vn
