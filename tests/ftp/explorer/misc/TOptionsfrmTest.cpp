// The Options window: every key it edits round-trips through "varnelo.ini",
// Cancel writes nothing, the sound file's checks, "Delete Temporal Files", and
// confirmed options reaching every open FTP window at once.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>

#include "FakeFtpServer.h"
#include "ScriptedPrompter.h"
#include "TestHome.h"
#include "WindowTestUtil.h"
#include "common/DataFolder.h"
#include "common/IniFile.h"
#include "common/ui/Beeper.h"
#include "common/ui/InfoBox.h"
#include "common/ui/ThinkingIndicator.h"
#include "ftp/explorer/LocalRoots.h"
#include "ftp/explorer/TFTPfrm.h"
#include "ftp/explorer/misc/TOptionsfrm.h"

namespace vn::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Options : ::testing::Test {
    ScopedPrompter prompter;
    int beeps = 0;
    void SetUp() override {
        setMountProvider([] { return std::vector<MountEntry>{}; });
        setBeepHook([this] { ++beeps; });
    }
    void TearDown() override {
        setBeepHook(nullptr);
        setMountProvider(nullptr);
    }
    static std::string readAll(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

template <class T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_TRUE(c) << name;
    return c;
}

// One key: where it lives, its default, another value, and how the window
// shows and sets it.
struct Key {
    const char* section;
    const char* key;
    long long def;
    long long other;
    std::function<long long(TOptionsfrm&)> shown;
    std::function<void(TOptionsfrm&, long long)> set;
};

std::function<long long(TOptionsfrm&)> spinShown(const char* n) {
    return [n](TOptionsfrm& d) { return static_cast<long long>(child<QSpinBox>(d, n)->value()); };
}
std::function<void(TOptionsfrm&, long long)> spinSet(const char* n) {
    return [n](TOptionsfrm& d, long long v) { child<QSpinBox>(d, n)->setValue(static_cast<int>(v)); };
}
std::function<long long(TOptionsfrm&)> boxShown(const char* n) {
    return [n](TOptionsfrm& d) { return child<QCheckBox>(d, n)->isChecked() ? 1LL : 0LL; };
}
std::function<void(TOptionsfrm&, long long)> boxSet(const char* n) {
    return [n](TOptionsfrm& d, long long v) { child<QCheckBox>(d, n)->setChecked(v != 0); };
}
std::function<long long(TOptionsfrm&)> colorShown(TOptionsfrm::Panel p) {
    return [p](TOptionsfrm& d) { return static_cast<long long>(TOptionsfrm::toBgr(d.panelColor(p))); };
}
std::function<void(TOptionsfrm&, long long)> colorSet(TOptionsfrm::Panel p) {
    return [p](TOptionsfrm& d, long long v) { d.setPanelColor(p, TOptionsfrm::fromBgr(static_cast<unsigned>(v))); };
}

std::vector<Key> keyTable() {
    using P = TOptionsfrm;
    return {
        {"FTP", "CxRT", 3, 7, spinShown("CxRT"), spinSet("CxRT")},
        {"FTP", "TxRT", 3, 0, spinShown("TxRT"), spinSet("TxRT")},
        {"FTP", "RxRT", 3, 9, spinShown("RxRT"), spinSet("RxRT")},
        {"FTP", "CxTOut", 120, 30, spinShown("CxTOut"), spinSet("CxTOut")},
        {"FTP", "TxTOut", 120, 45, spinShown("TxTOut"), spinSet("TxTOut")},
        {"FTP", "RxTOut", 120, 61, spinShown("RxTOut"), spinSet("RxTOut")},
        {"FTP", "PacketLength", 4096, 32768, spinShown("PacketLength"), spinSet("PacketLength")},
        {"FTP", "NOOPInterval", 180, 0, spinShown("NOOPInterval"), spinSet("NOOPInterval")},
        {"FTP", "ShowWelcome", 1, 0, boxShown("WelcomeCB"), boxSet("WelcomeCB")},
        {"FTP", "DisableThinking", 0, 1, boxShown("ThinkingCB"), boxSet("ThinkingCB")},
        {"FTP", "RecycleBin", 1, 0, boxShown("RecycleCB"), boxSet("RecycleCB")},
        {"FTP", "DeleteFileAfterDownload", 0, 1, boxShown("DownloadCB"), boxSet("DownloadCB")},
        {"FTP", "DeleteFileAfterUpload", 0, 1, boxShown("UploadCB"), boxSet("UploadCB")},
        {"FTP", "KeepFileTimes", 1, 0, boxShown("KeepTimesCB"), boxSet("KeepTimesCB")},
        {"Colors", "InfoBox", 14154751, 0x123456, colorShown(P::InfoBoxPanel), colorSet(P::InfoBoxPanel)},
        {"Colors", "FileGauge", 8388608, 0x00FF00, colorShown(P::FileGaugePanel), colorSet(P::FileGaugePanel)},
        {"Colors", "TotalGauge", 16711680, 0x0000FF, colorShown(P::TotalGaugePanel), colorSet(P::TotalGaugePanel)},
        {"Colors", "ListFont", 8388608, 0x334455, colorShown(P::ListFontPanel), colorSet(P::ListFontPanel)},
        {"Colors", "InfoBoxFont", 8388608, 0xFFFFFF, colorShown(P::InfoBoxFontPanel), colorSet(P::InfoBoxFontPanel)},
        {"Misc", "MaxInfoBox", 0, 250, spinShown("SpinEdit1"), spinSet("SpinEdit1")},
    };
}

ScriptedPrompter::DialogHandler press(const char* button) {
    return [button](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Options");
        child<QPushButton>(d, button)->click();
        return d.result();
    };
}

TEST_F(Options, EveryKeyRoundTrips) {
    const auto table = keyTable();
    // An empty file: the window shows every default.
    {
        TOptionsfrm d;
        prompter->pushDialog([&](QDialog&) {
            for (const auto& k : table) EXPECT_EQ(k.shown(d), k.def) << k.section << "/" << k.key;
            EXPECT_EQ(child<QLineEdit>(d, "Edit2")->text(), "");
            EXPECT_FALSE(child<QCheckBox>(d, "SoundCB")->isChecked());
            EXPECT_FALSE(child<QLineEdit>(d, "Edit1")->isEnabled());
            child<QPushButton>(d, "OKBtn")->click();
            return d.result();
        });
        ASSERT_TRUE(d.mostrarform());
    }
    IniFile ini(configFile());
    for (const auto& k : table) EXPECT_EQ(ini.readInt(k.section, k.key, -99), k.def) << k.key;
    EXPECT_EQ(ini.readInt("Sound", "ActionSound", -99), 0);
    EXPECT_TRUE(ini.hasKey("Sound", "SoundFile"));
    EXPECT_TRUE(ini.hasKey("FTP", "Email"));

    // Every control changed, OK: every key holds its new value, and the next
    // opening shows them.
    const fs::path wav = scratchDir("sound") / "ding.wav";
    std::ofstream(wav) << "RIFF";
    {
        TOptionsfrm d;
        prompter->pushDialog([&](QDialog&) {
            for (const auto& k : table) k.set(d, k.other);
            child<QLineEdit>(d, "Edit2")->setText("me@example.org");
            child<QCheckBox>(d, "SoundCB")->setChecked(true);
            EXPECT_TRUE(child<QLineEdit>(d, "Edit1")->isEnabled());
            child<QLineEdit>(d, "Edit1")->setText(QString::fromStdString(wav.string()));
            child<QPushButton>(d, "OKBtn")->click();
            return d.result();
        });
        ASSERT_TRUE(d.mostrarform());
    }
    for (const auto& k : table) EXPECT_EQ(ini.readInt(k.section, k.key, -99), k.other) << k.key;
    EXPECT_EQ(ini.readString("FTP", "Email"), "me@example.org");
    EXPECT_EQ(ini.readInt("Sound", "ActionSound", -99), 1);
    EXPECT_EQ(ini.readString("Sound", "SoundFile"), wav.string());
    {
        TOptionsfrm d;
        prompter->pushDialog([&](QDialog&) {
            for (const auto& k : table) EXPECT_EQ(k.shown(d), k.other) << k.key;
            EXPECT_EQ(child<QLineEdit>(d, "Edit2")->text(), "me@example.org");
            EXPECT_TRUE(child<QCheckBox>(d, "SoundCB")->isChecked());
            // Cancel writes nothing at all.
            for (const auto& k : table) k.set(d, k.def);
            child<QPushButton>(d, "CancelBtn")->click();
            return d.result();
        });
        const std::string before = readAll(configFile());
        EXPECT_FALSE(d.mostrarform());
        EXPECT_EQ(readAll(configFile()), before);
    }
    // Keys the window does not edit are left alone.
    ini.writeInt("FTP", "TreeWidth", 300);
    ini.writeInt("FTP", "UseEmailAddress", 0);
    TOptionsfrm d;
    prompter->pushDialog(press("OKBtn"));
    ASSERT_TRUE(d.mostrarform());
    EXPECT_EQ(ini.readInt("FTP", "TreeWidth", 0), 300);
    EXPECT_EQ(ini.readInt("FTP", "UseEmailAddress", 1), 0);
    EXPECT_EQ(prompter->unexpected(), 0);
}

TEST_F(Options, MalformedKeysShowTheirDefaults) {
    IniFile ini(configFile());
    for (const auto& k : keyTable()) ini.writeString(k.section, k.key, "not a number");
    TOptionsfrm d;
    d.load(OptionsValues::load(ini));
    for (const auto& k : keyTable()) EXPECT_EQ(k.shown(d), k.def) << k.key;
}

TEST_F(Options, SoundBoxWithoutAFileWritesNoSound) {
    TOptionsfrm d;
    prompter->pushDialog([&](QDialog&) {
        child<QCheckBox>(d, "SoundCB")->setChecked(true);
        child<QPushButton>(d, "OKBtn")->click();
        return d.result();
    });
    ASSERT_TRUE(d.mostrarform());
    EXPECT_EQ(IniFile(configFile()).readInt("Sound", "ActionSound", -1), 0);
}

TEST_F(Options, MissingSoundFileIsSaidAndKeepsTheWindowOpen) {
    const std::string missing = (testHome() / "gone.wav").string();
    TOptionsfrm d;
    prompter->pushDialog([&](QDialog&) {
        child<QCheckBox>(d, "SoundCB")->setChecked(true);
        child<QLineEdit>(d, "Edit1")->setText(QString::fromStdString(missing));
        child<QPushButton>(d, "OKBtn")->click();
        EXPECT_EQ(d.result(), 0); // still open
        child<QToolButton>(d, "PlaySB")->click();
        child<QPushButton>(d, "CancelBtn")->click();
        return d.result();
    });
    EXPECT_FALSE(d.mostrarform());
    const std::string said = "message: The sound file " + missing + " does not exist.";
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"dialog: Options", said, said}));
    EXPECT_FALSE(IniFile(configFile()).hasKey("Sound", "ActionSound"));
}

TEST_F(Options, BrowseTakesOnlyWaveFiles) {
    const fs::path dir = scratchDir("sounds");
    std::ofstream(dir / "ok.WAV") << "RIFF";
    std::ofstream(dir / "song.mp3") << "ID3";
    TOptionsfrm d;
    child<QCheckBox>(d, "SoundCB")->setChecked(true);
    auto choose = [&](const fs::path& file) {
        prompter->pushDialog([file](QDialog& dlg) {
            auto& f = dynamic_cast<QFileDialog&>(dlg);
            EXPECT_EQ(f.nameFilters(), QStringList{"Audio WaveForm (*.wav)"});
            f.selectFile(QString::fromStdString(file.string()));
            dlg.accept();
            return dlg.result();
        });
        child<QToolButton>(d, "BrowseSB")->click();
    };
    choose(dir / "song.mp3");
    EXPECT_EQ(child<QLineEdit>(d, "Edit1")->text(), "");
    choose(dir / "ok.WAV");
    EXPECT_EQ(child<QLineEdit>(d, "Edit1")->text(), QString::fromStdString((dir / "ok.WAV").string()));
}

TEST_F(Options, ColourPanelOpensTheChooserOnItsColour) {
    TOptionsfrm d;
    prompter->pushDialog([](QDialog& dlg) {
        auto& c = dynamic_cast<QColorDialog&>(dlg);
        EXPECT_EQ(TOptionsfrm::toBgr(c.currentColor()), 14154751u);
        c.setCurrentColor(QColor(0x11, 0x22, 0x33));
        c.accept();
        return c.result();
    });
    child<QPushButton>(d, "InfoBoxColorP")->click();
    EXPECT_EQ(TOptionsfrm::toBgr(d.panelColor(TOptionsfrm::InfoBoxPanel)), 0x332211u);
    prompter->pushDialog([](QDialog& dlg) {
        dlg.reject();
        return dlg.result();
    });
    child<QPushButton>(d, "InfoBoxColorP")->click();
    EXPECT_EQ(TOptionsfrm::toBgr(d.panelColor(TOptionsfrm::InfoBoxPanel)), 0x332211u);
}

TEST_F(Options, AnUnshownRecycleValueIsKeptUnlessTheBoxChanges) {
    IniFile ini(configFile());
    ini.writeInt("FTP", "RecycleBin", 2);
    TOptionsfrm d;
    prompter->pushDialog(press("OKBtn"));
    ASSERT_TRUE(d.mostrarform());
    EXPECT_EQ(ini.readInt("FTP", "RecycleBin", -1), 2);
    prompter->pushDialog([&](QDialog&) {
        child<QCheckBox>(d, "RecycleCB")->setChecked(true);
        child<QPushButton>(d, "OKBtn")->click();
        return d.result();
    });
    ASSERT_TRUE(d.mostrarform());
    EXPECT_EQ(ini.readInt("FTP", "RecycleBin", -1), 1);
}

TEST_F(Options, DeleteTemporalFilesCountsWhatWent) {
    const fs::path home = dataFolder();
    fs::create_directories(home / "TEMP" / "w1-1");
    for (fs::path p : {home / "rest.ini", home / "copy.dat", home / "TEMP" / "a.tmp", home / "TEMP" / "w1-1" / "b.tmp",
                       home / "TEMP" / "C.TMP", home / "TEMP" / "keep.txt"})
        std::ofstream(p) << "x";
    fs::create_directory(home / "TEMP" / "folder.tmp");
    TOptionsfrm d;
    child<QPushButton>(d, "SpeedButton1")->click();
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"message: 4 files have been deleted!"}));
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(fs::exists(home / "rest.ini"));
    EXPECT_FALSE(fs::exists(home / "copy.dat"));
    EXPECT_FALSE(fs::exists(home / "TEMP" / "a.tmp"));
    EXPECT_FALSE(fs::exists(home / "TEMP" / "w1-1" / "b.tmp"));
    EXPECT_TRUE(fs::exists(home / "TEMP" / "C.TMP"));
    EXPECT_TRUE(fs::exists(home / "TEMP" / "keep.txt"));
    EXPECT_TRUE(fs::is_directory(home / "TEMP" / "folder.tmp"));
    // Nothing left: nothing counted.
    prompter->clearAsked();
    child<QPushButton>(d, "SpeedButton1")->click();
    EXPECT_EQ(prompter->asked(), (std::vector<std::string>{"message: 0 files have been deleted!"}));
}

TEST_F(Options, ConfirmedOptionsReachEveryOpenWindow) {
    const fs::path wav = scratchDir("sound") / "ding.wav";
    std::ofstream(wav) << "RIFF";
    TFTPfrm first, second;
    first.show();
    second.show();
    EXPECT_TRUE(first.action("Options2")->isEnabled());
    EXPECT_TRUE(first.action("ColorsOptions1")->isEnabled());
    EXPECT_EQ(first.actionSound(), "");
    prompter->pushDialog([&](QDialog& dlg) {
        auto& d = dynamic_cast<TOptionsfrm&>(dlg);
        child<QCheckBox>(d, "SoundCB")->setChecked(true);
        child<QLineEdit>(d, "Edit1")->setText(QString::fromStdString(wav.string()));
        d.setPanelColor(TOptionsfrm::InfoBoxPanel, QColor(1, 2, 3));
        d.setPanelColor(TOptionsfrm::ListFontPanel, QColor(9, 8, 7));
        d.setPanelColor(TOptionsfrm::FileGaugePanel, QColor(4, 5, 6));
        child<QSpinBox>(d, "SpinEdit1")->setValue(3);
        child<QCheckBox>(d, "ThinkingCB")->setChecked(true);
        child<QPushButton>(d, "OKBtn")->click();
        return d.result();
    });
    first.action("Options2")->trigger();
    for (TFTPfrm* w : {&first, &second}) {
        EXPECT_EQ(w->info()->palette().color(QPalette::Base), QColor(1, 2, 3));
        EXPECT_EQ(w->fileGauge()->palette().color(QPalette::Highlight), QColor(4, 5, 6));
        for (int i = 0; i < 10; ++i) w->log(QString::number(i));
        EXPECT_EQ(w->info()->lines().size(), 3);
        EXPECT_TRUE(w->thinking()->thinkingDisabled());
        EXPECT_EQ(w->actionSound(), wav.string());
        EXPECT_EQ(w->listModel()->data(w->listModel()->index(0, 0), Qt::ForegroundRole).value<QColor>(),
                  w->listModel()->rowCount() ? QColor(9, 8, 7) : QColor());
    }
    // Cancel changes nothing anywhere.
    prompter->pushDialog([](QDialog& dlg) {
        auto& d = dynamic_cast<TOptionsfrm&>(dlg);
        d.setPanelColor(TOptionsfrm::InfoBoxPanel, QColor(200, 200, 200));
        child<QPushButton>(d, "CancelBtn")->click();
        return d.result();
    });
    second.action("ColorsOptions1")->trigger();
    EXPECT_EQ(first.info()->palette().color(QPalette::Base), QColor(1, 2, 3));
    EXPECT_EQ(second.info()->palette().color(QPalette::Base), QColor(1, 2, 3));
    EXPECT_EQ(prompter->unexpected(), 0);
}

// Fills the Quick Connection dialog and presses OK.
ScriptedPrompter::DialogHandler quick(uint16_t port) {
    return [=](QDialog& d) {
        d.findChild<QLineEdit*>("HostEdit")->setText("127.0.0.1");
        d.findChild<QLineEdit*>("LoginEdit")->setText("user");
        d.findChild<QLineEdit*>("PasswordEdit")->setText("secret");
        d.findChild<QLineEdit*>("PortEdit")->setText(QString::number(port));
        d.accept();
        return d.result();
    };
}

TEST_F(Options, KeepAliveAndTimeOutsOfAnOpenSessionFollowAtOnce) {
    IniFile(configFile()).writeInt("FTP", "ShowWelcome", 0);
    auto server = FakeFtpServer::loginScript();
    server->dataActive().onList("").on("CWD", "250 Ok.\r\n").on("STAT", "211-Status\r\n");
    TFTPfrm w;
    w.show();
    prompter->pushDialog(quick(server->port()));
    w.QuickSBClick();
    ASSERT_TRUE(waitIdle(w));
    ASSERT_NE(w.currentSession(), 0u);
    const auto sent = server->commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "NOOP"), 0);

    // A one-second keep-alive and a one-second read time-out, confirmed now.
    prompter->pushDialog([](QDialog& dlg) {
        child<QSpinBox>(dlg, "NOOPInterval")->setValue(1);
        child<QSpinBox>(dlg, "RxTOut")->setValue(1);
        child<QPushButton>(dlg, "OKBtn")->click();
        return dlg.result();
    });
    w.action("Options2")->trigger();
    // The timer runs on this thread: wait with the event loop going.
    bool noop = false;
    for (int i = 0; i < 1000 && !noop; ++i) {
        QTest::qWait(10);
        const auto now = server->commands();
        noop = std::find(now.begin(), now.end(), "NOOP") != now.end();
    }
    EXPECT_TRUE(noop);

    // A reply that never ends now times out after a second.
    ASSERT_TRUE(waitIdle(w));
    prompter->pushInput("STAT");
    w.action("QuickCommand1")->trigger();
    ASSERT_TRUE(waitForLogLine(w, ">ERROR: Timeout", 20s));
    EXPECT_EQ(prompter->unexpected(), 0);
}

} // namespace
} // namespace vn::test
