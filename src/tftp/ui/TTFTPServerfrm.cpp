#include "tftp/ui/TTFTPServerfrm.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "common/Prompter.h"
#include "common/ui/FormWidgets.h"
#include "common/ui/InfoBox.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/UiSink.h"
#include "common/ui/WireText.h"
#include "shell/ProductInfo.h"
#include "tftp/ui/TftpWidgets.h"

namespace vn::tftp {

TTFTPServerfrm::TTFTPServerfrm(QWidget* parent)
    : ToolWindow({"TFTPServerfrm", "Varnelo FTP Suite - TFTP Server", "tftpserver.html"}, parent), ini_(iniPath()) {
    bool fellBack = false;
    settings_ = readServerSettings(ini_, &fellBack);
    settings_.bindAddress = ini_.readString(kServerSection, kBindAddressKey, settings_.bindAddress);
    // The server's threads report through a queued forwarder: a report never
    // waits for this thread, which joins them when the window closes.
    auto& sink = own(std::make_unique<UiSink<>>(this));
    server_ = std::make_unique<TftpServer>(sink);

    commands().add({
        {"Start1", "&Start Server", {}, [this] { startServer(); }, "Listen on the port of the options",
         [this] { return !server_->running(); }},
        {"Stop1", "S&top Server", {}, [this] { stopServer(); }, "Stop listening and end every transfer",
         [this] { return server_->running(); }},
        {"Close1", "&Close", {}, [this] { closeWindow(); }, "Close this window"},
        {"About1", "&About...", {}, [] { uiPrompter().message(std::string(kAppTitle)); }},
        {"Visit1", "&Visit Varnelo FTP Suite Web Site", QKeySequence(Qt::CTRL | Qt::Key_W),
         [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(product::kWebSite))); }},
    });
    commands().fill(menuBar()->addMenu(QStringLiteral("&TFTP")), {"Start1", "Stop1", "", "Close1"});
    commands().fill(menuBar()->addMenu(QStringLiteral("&Help")), {"Contents1", "About1", "Visit1"});
    commands().button(toolBar(), "StartSB", "Start1", QStringLiteral("Start"));
    commands().button(toolBar(), "StopSB", "Stop1", QStringLiteral("Stop"));

    auto* panes = new QWidget;
    auto* v = new QVBoxLayout(panes);
    v->setContentsMargins(4, 4, 4, 4);

    base_ = new DropLineEdit(panes);
    base_->setObjectName(QStringLiteral("BaseFolderED"));
    base_->setText(fromWire(settings_.baseFolder.string()));
    browse_ = new QToolButton(panes);
    browse_->setObjectName(QStringLiteral("BrowseSB"));
    browse_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    browse_->setToolTip(QStringLiteral("Browse for the base folder"));
    browse_->setAccessibleName(QStringLiteral("Browse for the base folder"));
    setDefault_ = new QToolButton(panes);
    setDefault_->setObjectName(QStringLiteral("SetDefaultSB"));
    setDefault_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    setDefault_->setToolTip(QStringLiteral("Set as default Base Folder"));
    setDefault_->setAccessibleName(QStringLiteral("Set as default Base Folder"));
    v->addWidget(buddyLabel(QStringLiteral("Base &Folder :"), "BaseFolderLB", base_, panes));
    auto* row = new QHBoxLayout;
    row->addWidget(base_, 1);
    row->addWidget(browse_);
    row->addWidget(setDefault_);
    v->addLayout(row);

    auto* options = new QGroupBox(QStringLiteral("Options"), panes);
    options->setObjectName(QStringLiteral("OptionsGB"));
    auto* form = new QFormLayout(options);
    port_ = new QSpinBox(options);
    port_->setObjectName(QStringLiteral("PortSE"));
    port_->setRange(0, 65535);
    port_->setValue(settings_.port < 0 ? 0 : settings_.port);
    buffer_ = new QSpinBox(options);
    buffer_->setObjectName(QStringLiteral("BufferSizeSE"));
    buffer_->setRange(0, 65536);
    buffer_->setValue(settings_.bufferSize);
    auto* portLabel = new QLabel(QStringLiteral("&UDP TFTP Port :"), options);
    portLabel->setBuddy(port_);
    port_->setAccessibleName(QStringLiteral("UDP TFTP Port"));
    auto* bufferLabel = new QLabel(QStringLiteral("&Buffer Size :"), options);
    bufferLabel->setBuddy(buffer_);
    buffer_->setAccessibleName(QStringLiteral("Buffer Size"));
    form->addRow(portLabel, port_);
    form->addRow(bufferLabel, buffer_);
    v->addWidget(options);
    v->addWidget(info(), 1);
    setCentralWidget(panes);
    resize(320, 420);

    connect(base_, &QLineEdit::editingFinished, this, &TTFTPServerfrm::applyBaseFolder);
    connect(base_, &DropLineEdit::dropped, this, [this](const QString& path) {
        // A dropped file stands for its folder.
        if (!QFileInfo(path).isDir()) base_->setText(QFileInfo(path).absolutePath());
        applyBaseFolder();
    });
    connect(browse_, &QToolButton::clicked, this, &TTFTPServerfrm::browseBaseFolder);
    connect(setDefault_, &QToolButton::clicked, this, &TTFTPServerfrm::setDefaultBaseFolder);
    // Written at once; a running server keeps its port until it is started again.
    connect(port_, &QSpinBox::valueChanged, this, [this](int p) { ini_.writeInt(kServerSection, kPortKey, p); });
    connect(buffer_, &QSpinBox::valueChanged, this, [this](int b) {
        if (b > 0) ini_.writeInt(kServerSection, kBufferSizeKey, b);
    });

    finishSetup();
    if (fellBack) beep();
    startServer();
}

TTFTPServerfrm::~TTFTPServerfrm() {
    // The box loses its focus while the window goes: no late base folder edit.
    base_->disconnect(this);
    server_->stop();
}

bool TTFTPServerfrm::startServer() {
    if (server_->running()) return true;
    settings_.port = port_->value();
    if (buffer_->value() > 0) settings_.bufferSize = buffer_->value();
    bool fellBack = false;
    settings_.baseFolder = effectiveBaseFolder(toWire(base_->text()), fellBack);
    const bool ok = server_->start(settings_);
    updateCommands();
    return ok;
}

void TTFTPServerfrm::stopServer() {
    server_->stop();
    log(QStringLiteral("TFTP Server Stopped"));
    updateCommands();
}

void TTFTPServerfrm::applyBaseFolder() {
    bool fellBack = false;
    const std::string folder = effectiveBaseFolder(toWire(base_->text()), fellBack);
    if (fellBack) beep();
    base_->setText(fromWire(folder));
    if (!server_->setBaseFolder(folder)) {
        beep();
        log(QStringLiteral("ERROR: Unable to open the Base Folder ") + fromWire(folder));
        base_->setText(fromWire(server_->baseFolder()));
    }
    settings_.baseFolder = toWire(base_->text());
}

void TTFTPServerfrm::browseBaseFolder() {
    QFileDialog dialog(this, QStringLiteral("Base Folder"), base_->text());
    dialog.setObjectName(QStringLiteral("BaseFolderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (uiPrompter().exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    base_->setText(dialog.selectedFiles().front());
    applyBaseFolder();
}

void TTFTPServerfrm::setDefaultBaseFolder() {
    ini_.writeString(kServerSection, kBaseFolderKey, toWire(base_->text()));
    uiPrompter().message(toWire(base_->text()) + " has been set as defalut Base Folder.");
}

void TTFTPServerfrm::commandsUpdated(bool) {}

void TTFTPServerfrm::windowClosing() {
    // Every transfer ends now (each peer gets an ERROR); their last reports
    // are queued to this window and dropped with it.
    server_->stop();
}

} // namespace vn::tftp
