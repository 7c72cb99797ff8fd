// "TFTP.ini": defaults, the client's rule that only values above 0 are kept,
// and the server's base folder falling back to the home folder.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TftpTestKit.h"
#include "tftp/TftpSettings.h"

using namespace vn::tftp;
using namespace vn::tftp::test;

TEST(TftpSettings, ClientDefaultsAndStores) {
    TempDir d;
    vn::IniFile ini(d.path() / "TFTP.ini");
    ClientSettings s = readClientSettings(ini);
    EXPECT_EQ(s.port, 69);
    EXPECT_EQ(s.bufferSize, 8192);
    EXPECT_EQ(s.timeoutMs, 3000);
    EXPECT_EQ(s.requestedBlock, 1024);
    EXPECT_EQ(s.mode, Mode::Octet);
    EXPECT_STREQ(modeName(s.mode), "octet");

    EXPECT_TRUE(storeClientSetting(ini, kRequestedBlockKey, 8192));
    EXPECT_FALSE(storeClientSetting(ini, kRequestedBlockKey, 0)); // 0 is neither stored nor used
    EXPECT_FALSE(storeClientSetting(ini, kTimeOutKey, -5));
    EXPECT_TRUE(storeClientSetting(ini, kFileTypeKey, 1));
    EXPECT_FALSE(storeClientSetting(ini, kFileTypeKey, 2));
    s = readClientSettings(ini);
    EXPECT_EQ(s.requestedBlock, 8192);
    EXPECT_EQ(s.timeoutMs, 3000);
    EXPECT_EQ(s.mode, Mode::NetAscii);
    EXPECT_STREQ(modeName(s.mode), "netascii");
    EXPECT_EQ(ini.readString(kClientSection, kRequestedBlockKey), "8192");
}

TEST(TftpSettings, ServerBaseFolderFallsBackToHome) {
    TempDir d;
    vn::IniFile ini(d.path() / "TFTP.ini");
    bool fellBack = false;
    ServerSettings s = readServerSettings(ini, &fellBack);
    EXPECT_EQ(s.port, 69);
    EXPECT_EQ(s.bufferSize, 8192);
    std::string home = homeFolder().string();
    if (home.back() != '/') home += '/';
    EXPECT_EQ(s.baseFolder.string(), home);

    ini.writeString(kServerSection, kBaseFolderKey, d.path().string());
    ini.writeInt(kServerSection, kPortKey, 0);
    s = readServerSettings(ini, &fellBack);
    EXPECT_FALSE(fellBack);
    EXPECT_EQ(s.baseFolder.string(), d.path().string() + "/");
    EXPECT_EQ(s.port, 0);
    EXPECT_FALSE(s.anyPort); // a stored 0 is not "any port": the server refuses it

    ini.writeString(kServerSection, kBaseFolderKey, "c:\\");
    s = readServerSettings(ini, &fellBack);
    EXPECT_TRUE(fellBack);
    EXPECT_EQ(s.baseFolder.string(), home);

    EXPECT_EQ(effectiveBaseFolder(d.path().string() + "/", fellBack), d.path().string() + "/");
    EXPECT_FALSE(fellBack);
    EXPECT_EQ(effectiveBaseFolder("", fellBack), home);
    EXPECT_TRUE(fellBack);
}
