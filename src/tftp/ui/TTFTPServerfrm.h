#pragma once
// The TFTP server window: while it is open, TFTP clients read files from the
// base folder and write files into it. The server listens from creation; a
// port it can't bind leaves a log line and the window open to start it again
// on another port. Closing the window stops every transfer at once.
#include <memory>
#include <string>

#include "common/IniFile.h"
#include "common/ui/ToolWindow.h"
#include "tftp/TftpServer.h"
#include "tftp/TftpSettings.h"

class QSpinBox;
class QToolButton;

namespace vn::tftp {

class DropLineEdit;

class TTFTPServerfrm : public ToolWindow {
    Q_OBJECT
public:
    // Extra key of [TFTPServer]: the local address to listen on (all by default).
    static constexpr std::string_view kBindAddressKey = "BindAddress";

    explicit TTFTPServerfrm(QWidget* parent = nullptr);
    ~TTFTPServerfrm() override;

    // Starts listening on the port of the box (UI thread); false with a log line.
    bool startServer();
    void stopServer();
    // The base folder box's text becomes the folder in effect (as on leaving the box).
    void applyBaseFolder();
    // The folder dialog.
    void browseBaseFolder();
    // "Set as default Base Folder".
    void setDefaultBaseFolder();

    TftpServer& server() { return *server_; }
    DropLineEdit* baseFolderEdit() const { return base_; }
    QSpinBox* portBox() const { return port_; }
    QSpinBox* bufferBox() const { return buffer_; }

protected:
    void commandsUpdated(bool busy) override;
    void windowClosing() override;

private:
    IniFile ini_;
    ServerSettings settings_;
    std::unique_ptr<TftpServer> server_; // stopped (threads joined) before the window goes
    DropLineEdit* base_ = nullptr;
    QSpinBox* port_ = nullptr;
    QSpinBox* buffer_ = nullptr;
    QToolButton* browse_ = nullptr;
    QToolButton* setDefault_ = nullptr;
};

} // namespace vn::tftp
