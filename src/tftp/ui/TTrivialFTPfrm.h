#pragma once
// The TFTP client window: the local disks on the left ("Local Client"), the
// settings ("&Options"), and the remote side ("Remote Server"): host, remote
// file name and new local name. One transfer at a time, on the window's worker;
// Abort ends it at once. The rest of the program stays usable meanwhile.
#include <QElapsedTimer>

#include <cstdint>
#include <memory>
#include <string>

#include "common/IniFile.h"
#include "common/ui/ToolWindow.h"
#include "tftp/TftpClient.h"
#include "tftp/TftpSettings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace vn::tftp {

class DropLineEdit;
class LocalBrowser;

class TTrivialFTPfrm : public ToolWindow {
    Q_OBJECT
public:
    explicit TTrivialFTPfrm(QWidget* parent = nullptr);
    // The section of the configuration file with the last hosts.
    static constexpr const char* kHistorySection = "TFTP";
    ~TTrivialFTPfrm() override;

    // The operations of the commands (tests call them as the buttons do).
    void GetFileSBClick();
    void PutFileSBClick();
    void PutAsSBClick();

    LocalBrowser* browser() const { return browser_; }
    QLineEdit* hostEdit() const;
    DropLineEdit* remoteNameEdit() const { return remoteName_; }
    QLineEdit* newLocalNameEdit() const { return newLocal_; }
    QLabel* progressLabel() const { return progress_; }
    QSpinBox* portBox() const { return port_; }
    QSpinBox* timeoutBox() const { return timeout_; }
    QSpinBox* blockBox() const { return block_; }
    QComboBox* fileTypeBox() const { return fileType_; }
    ClientSettings settings() const { return settings_; }
    // The last transfer's result (UI thread).
    const ClientResult& lastResult() const { return last_; }

    bool canPut() const;
    bool canGet() const;

    // From the sink, on the UI thread.
    void showProgress(std::uint64_t done, std::uint64_t total);

signals:
    // A transfer ended and the window shows its result.
    void transferEnded();

protected:
    void commandsUpdated(bool busy) override;

private:
    QWidget* buildLocalPage();
    QWidget* buildOptionsPage();
    QWidget* buildRemotePage();
    QSpinBox* optionBox(const char* name, int value, int max);
    void optionChanged(std::string_view key, long long value);
    void upload(const std::string& localName, const std::string& remoteName);
    void transferDone(const ClientResult& r, bool download, const std::string& host);

    IniFile ini_;
    ClientSettings settings_;
    TftpClient* client_ = nullptr;
    LocalBrowser* browser_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QLineEdit* host_ = nullptr;
    DropLineEdit* remoteName_ = nullptr;
    QLineEdit* newLocal_ = nullptr;
    QLabel* progress_ = nullptr;
    QPushButton* putButton_ = nullptr;
    QPushButton* putAsButton_ = nullptr;
    QPushButton* getButton_ = nullptr;
    QSpinBox* port_ = nullptr;
    QSpinBox* buffer_ = nullptr;
    QSpinBox* timeout_ = nullptr;
    QSpinBox* block_ = nullptr;
    QComboBox* fileType_ = nullptr;
    QElapsedTimer clock_;
    ClientResult last_;
};

} // namespace vn::tftp
