#include "ftp/explorer/misc/TOptionsfrm.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>

#include "common/DataFolder.h"
#include "common/ui/Beeper.h"
#include "common/ui/FormWidgets.h"
#include "common/ui/UiPrompter.h"
#include "common/ui/WireText.h"
#include "ftp/explorer/misc/TemporalFiles.h"

namespace vn {

namespace {

QSpinBox* spin(const char* name, int lo, int hi, QWidget* parent) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(lo, hi);
    return s;
}

QCheckBox* check(const QString& caption, const char* name, QWidget* parent) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

} // namespace

QColor TOptionsfrm::fromBgr(unsigned bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

unsigned TOptionsfrm::toBgr(const QColor& c) {
    return static_cast<unsigned>(c.red()) | (static_cast<unsigned>(c.green()) << 8) |
           (static_cast<unsigned>(c.blue()) << 16);
}

TOptionsfrm::TOptionsfrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Optionsfrm"));
    setWindowTitle(QStringLiteral("Options"));
    auto* layout = new QVBoxLayout(this);
    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("PageControl1"));
    layout->addWidget(pages_);

    // &Preferences
    auto* prefs = new QWidget(pages_);
    auto* pl = new QGridLayout(prefs);
    SpinEdit1 = spin("SpinEdit1", 0, 100000000, prefs);
    pl->addWidget(buddyLabel(QStringLiteral("Info Box &Max number of lines:"), "MaxInfoBoxLabel", SpinEdit1, prefs), 0, 0);
    pl->addWidget(SpinEdit1, 0, 1);
    pl->addWidget(new QLabel(QStringLiteral("(0 = infinite)"), prefs), 0, 2);
    Edit2 = namedLineEdit("Edit2", prefs);
    pl->addWidget(buddyLabel(QStringLiteral("&E-mail address (Anonymous logins):"), "EmailLabel", Edit2, prefs), 1, 0);
    pl->addWidget(Edit2, 1, 1, 1, 3);
    SoundCB = check(QStringLiteral("Use Action &Sound:"), "SoundCB", prefs);
    Edit1 = namedLineEdit("Edit1", prefs);
    Edit1->setAccessibleName(QStringLiteral("Sound file"));
    BrowseSB = new QToolButton(prefs);
    BrowseSB->setObjectName(QStringLiteral("BrowseSB"));
    BrowseSB->setText(QStringLiteral("..."));
    BrowseSB->setToolTip(QStringLiteral("Browse"));
    BrowseSB->setAccessibleName(QStringLiteral("Browse"));
    PlaySB = new QToolButton(prefs);
    PlaySB->setObjectName(QStringLiteral("PlaySB"));
    PlaySB->setText(QStringLiteral("Pla&y"));
    PlaySB->setToolTip(QStringLiteral("Play the sound file"));
    PlaySB->setAccessibleName(QStringLiteral("Play"));
    pl->addWidget(SoundCB, 2, 0);
    pl->addWidget(Edit1, 2, 1);
    pl->addWidget(BrowseSB, 2, 2);
    pl->addWidget(PlaySB, 2, 3);
    WelcomeCB = check(QStringLiteral("Show Welcome"), "WelcomeCB", prefs);
    ThinkingCB = check(QStringLiteral("Disable \"Thinking\" Indicator"), "ThinkingCB", prefs);
    RecycleCB = check(QStringLiteral("Move Deleted Files to Recycle Bin"), "RecycleCB", prefs);
    DownloadCB = check(QStringLiteral("Delete Files After Downloading"), "DownloadCB", prefs);
    UploadCB = check(QStringLiteral("Delete Files After Uploading"), "UploadCB", prefs);
    KeepTimesCB = check(QStringLiteral("Keep the Modification Time of Transferred Files"), "KeepTimesCB", prefs);
    KeepTimesCB->setToolTip(QStringLiteral("Where the server offers MDTM (downloads) and MFMT (uploads)"));
    int row = 3;
    for (QCheckBox* c : {WelcomeCB, ThinkingCB, RecycleCB, DownloadCB, UploadCB, KeepTimesCB})
        pl->addWidget(c, row++, 0, 1, 4);
    auto* temp = namedButton(QStringLiteral(" Delete Temporal &Files"), "SpeedButton1", prefs, false);
    pl->addWidget(temp, row, 0, 1, 2);
    pl->setRowStretch(row + 1, 1);
    pages_->addTab(prefs, QStringLiteral("&Preferences"));

    // &FTP Options
    auto* ftp = new QWidget(pages_);
    auto* fl = new QFormLayout(ftp);
    auto field = [&](QSpinBox*& box, const char* name, const char* caption, int lo, int hi) {
        box = spin(name, lo, hi, ftp);
        fl->addRow(buddyLabel(QString::fromUtf8(caption), (std::string(name) + "Label").c_str(), box, ftp), box);
    };
    // Re-tries of 0 or less never stop trying; time-outs of 0 never expire.
    field(CxRT, "CxRT", "Connexion re-tries:", -1, 1000);
    field(TxRT, "TxRT", "Transmission re-tries:", -1, 1000);
    field(RxRT, "RxRT", "Reception re-tries:", -1, 1000);
    field(CxTOut, "CxTOut", "Connexion timeout:", 0, 86400);
    field(TxTOut, "TxTOut", "Transmission timeout:", 0, 86400);
    field(RxTOut, "RxTOut", "Reception timeout:", 0, 86400);
    field(PacketLength, "PacketLength", "Packet Length:", 0, 32768);
    field(NOOPInterval, "NOOPInterval", "&NOOP Interval (s):", 0, 32768);
    pages_->addTab(ftp, QStringLiteral("&FTP Options"));

    // &Colors
    auto* colors = new QWidget(pages_);
    auto* cl = new QFormLayout(colors);
    const char* names[] = {"InfoBoxColorP", "FileGaugeColorP", "TotalGaugeColorP", "ListFontColorP",
                           "InfoBoxFontColorP"};
    const char* captions[] = {"&Info Box Color:", "&File Gauge Color:", "&Total Gauge Color:", "&List Font Color:",
                              "&Info Box Font Color:"};
    for (int i = 0; i < 5; ++i) {
        auto* p = new QPushButton(colors);
        p->setObjectName(QString::fromLatin1(names[i]));
        p->setAutoDefault(false);
        p->setMinimumWidth(80);
        p->setAccessibleName(withoutAmp(QString::fromUtf8(captions[i])));
        panels_[static_cast<std::size_t>(i)] = p;
        cl->addRow(buddyLabel(QString::fromUtf8(captions[i]), (std::string(names[i]) + "Label").c_str(), p, colors), p);
        connect(p, &QPushButton::clicked, this, [this, i] { ColorPanelClick(static_cast<Panel>(i)); });
    }
    pages_->addTab(colors, QStringLiteral("&Colors"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = namedButton(QStringLiteral("&OK"), "OKBtn", this);
    ok->setDefault(true);
    auto* cancel = namedButton(QStringLiteral("&Cancel"), "CancelBtn", this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &TOptionsfrm::OKBtnClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(SoundCB, &QCheckBox::toggled, this, [this] { SoundCBClick(); });
    connect(BrowseSB, &QToolButton::clicked, this, &TOptionsfrm::BrowseSBClick);
    connect(PlaySB, &QToolButton::clicked, this, &TOptionsfrm::PlaySBClick);
    connect(temp, &QPushButton::clicked, this, &TOptionsfrm::SpeedButton1Click);
    load(OptionsValues{});
}

QString TOptionsfrm::withoutAmp(const QString& s) {
    QString out = s;
    out.remove(QLatin1Char('&'));
    if (out.endsWith(QLatin1Char(':'))) out.chop(1);
    return out;
}

void TOptionsfrm::load(const OptionsValues& v) {
    SpinEdit1->setValue(v.MaxInfoBox);
    Edit2->setText(fromWire(v.Email));
    SoundCB->setChecked(v.ActionSound);
    Edit1->setText(QString::fromLocal8Bit(v.SoundFile.c_str()));
    WelcomeCB->setChecked(v.ShowWelcome);
    ThinkingCB->setChecked(v.DisableThinking);
    loadedRecycle_ = v.RecycleBin;
    RecycleCB->setChecked(v.RecycleBin == 1);
    DownloadCB->setChecked(v.DeleteFileAfterDownload);
    UploadCB->setChecked(v.DeleteFileAfterUpload);
    KeepTimesCB->setChecked(v.KeepFileTimes);
    CxRT->setValue(v.CxRT);
    TxRT->setValue(v.TxRT);
    RxRT->setValue(v.RxRT);
    CxTOut->setValue(v.CxTOut);
    TxTOut->setValue(v.TxTOut);
    RxTOut->setValue(v.RxTOut);
    PacketLength->setValue(v.PacketLength);
    NOOPInterval->setValue(v.NOOPInterval);
    const unsigned c[] = {v.InfoBox, v.FileGauge, v.TotalGauge, v.ListFont, v.InfoBoxFont};
    for (int i = 0; i < 5; ++i) setPanelColor(static_cast<Panel>(i), fromBgr(c[i]));
    SoundCBClick();
}

OptionsValues TOptionsfrm::values() const {
    OptionsValues v;
    v.MaxInfoBox = SpinEdit1->value();
    v.Email = toWire(Edit2->text());
    v.ActionSound = SoundCB->isChecked();
    v.SoundFile = Edit1->text().toLocal8Bit().toStdString();
    v.ShowWelcome = WelcomeCB->isChecked();
    v.DisableThinking = ThinkingCB->isChecked();
    // A RecycleBin the box cannot show (neither 0 nor 1: keep deleted files)
    // stays as it is unless the user changed the box.
    const bool loadedChecked = loadedRecycle_ == 1;
    v.RecycleBin = RecycleCB->isChecked() == loadedChecked ? loadedRecycle_ : (RecycleCB->isChecked() ? 1 : 0);
    v.DeleteFileAfterDownload = DownloadCB->isChecked();
    v.DeleteFileAfterUpload = UploadCB->isChecked();
    v.KeepFileTimes = KeepTimesCB->isChecked();
    v.CxRT = CxRT->value();
    v.TxRT = TxRT->value();
    v.RxRT = RxRT->value();
    v.CxTOut = CxTOut->value();
    v.TxTOut = TxTOut->value();
    v.RxTOut = RxTOut->value();
    v.PacketLength = PacketLength->value();
    v.NOOPInterval = NOOPInterval->value();
    v.InfoBox = toBgr(colors_[InfoBoxPanel]);
    v.FileGauge = toBgr(colors_[FileGaugePanel]);
    v.TotalGauge = toBgr(colors_[TotalGaugePanel]);
    v.ListFont = toBgr(colors_[ListFontPanel]);
    v.InfoBoxFont = toBgr(colors_[InfoBoxFontPanel]);
    return v;
}

void TOptionsfrm::setPanelColor(Panel p, const QColor& c) {
    colors_[p] = c;
    QPushButton* b = panels_[p];
    b->setStyleSheet(QStringLiteral("background-color: %1;").arg(c.name()));
    b->setToolTip(c.name());
}

bool TOptionsfrm::mostrarform() {
    IniFile ini(configFile());
    load(OptionsValues::load(ini));
    pages_->setCurrentIndex(0);
    if (uiPrompter().exec(*this) != QDialog::Accepted) return false;
    if (!values().save(ini)) uiPrompter().message(toWire(QStringLiteral("The options could not be saved in %1.")
                                                             .arg(QString::fromStdString(ini.path().string()))));
    return true;
}

void TOptionsfrm::SoundCBClick() {
    Edit1->setEnabled(SoundCB->isChecked());
    BrowseSB->setEnabled(SoundCB->isChecked());
    PlaySB->setEnabled(SoundCB->isChecked());
}

bool TOptionsfrm::soundFileMissing() const {
    std::error_code ec;
    const std::string f = Edit1->text().toLocal8Bit().toStdString();
    return !f.empty() && !std::filesystem::is_regular_file(f, ec);
}

void TOptionsfrm::OKBtnClick() {
    if (SoundCB->isChecked() && soundFileMissing()) {
        uiPrompter().message(toWire(QStringLiteral("The sound file %1 does not exist.").arg(Edit1->text())));
        pages_->setCurrentIndex(0);
        Edit1->setFocus();
        return;
    }
    accept();
}

void TOptionsfrm::BrowseSBClick() {
    QFileDialog dialog(this, QStringLiteral("Browse"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QStringLiteral("Audio WaveForm (*.wav)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!Edit1->text().isEmpty()) dialog.selectFile(Edit1->text());
    if (uiPrompter().exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString chosen = dialog.selectedFiles().first();
    if (QFileInfo(chosen).suffix().toLower() == QLatin1String("wav")) Edit1->setText(chosen);
}

void TOptionsfrm::PlaySBClick() {
    if (Edit1->text().isEmpty()) return;
    if (soundFileMissing()) {
        uiPrompter().message(toWire(QStringLiteral("The sound file %1 does not exist.").arg(Edit1->text())));
        return;
    }
    if (!playSoundFile(Edit1->text().toLocal8Bit().toStdString()))
        uiPrompter().message(toWire(
            QStringLiteral("The sound file %1 could not be played (no sound player or sound device).").arg(Edit1->text())));
}

void TOptionsfrm::SpeedButton1Click() {
    const int count = deleteTemporalFiles(dataFolder());
    beeps(std::string());
    uiPrompter().message(std::to_string(count) + " files have been deleted!");
}

void TOptionsfrm::ColorPanelClick(Panel p) {
    QColorDialog dialog(colors_[p], this);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (uiPrompter().exec(dialog) != QDialog::Accepted) return;
    if (dialog.selectedColor().isValid()) setPanelColor(p, dialog.selectedColor());
}

} // namespace vn
