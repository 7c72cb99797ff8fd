#pragma once
// The Options window: the FTP explorer's preferences, protocol options and
// colours. mostrarform() loads every control from "varnelo.ini", runs the
// window modally and, on OK, writes every key; Cancel writes nothing.
// " Delete Temporal Files" acts at once.
#include <QColor>
#include <QDialog>

#include <array>

#include "ftp/explorer/misc/OptionsValues.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace vn {

class TOptionsfrm : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsfrm(QWidget* parent = nullptr);

    // Loads, shows modally (through the prompter), saves on OK. True on OK.
    bool mostrarform();

    void load(const OptionsValues& v);
    OptionsValues values() const;

    // The five colour panels, in the order of the page.
    enum Panel { InfoBoxPanel, FileGaugePanel, TotalGaugePanel, ListFontPanel, InfoBoxFontPanel };
    QColor panelColor(Panel p) const { return colors_[p]; }
    void setPanelColor(Panel p, const QColor& c);

    static QColor fromBgr(unsigned bgr);
    static unsigned toBgr(const QColor& c);

public slots:
    // OK: a sound file that is named but missing keeps the window open.
    void OKBtnClick();
    void BrowseSBClick();
    void PlaySBClick();
    void SpeedButton1Click(); // " Delete Temporal &Files"
    void ColorPanelClick(Panel p);

private:
    void SoundCBClick();
    bool soundFileMissing() const;
    static QString withoutAmp(const QString& s);

    QTabWidget* pages_ = nullptr;
    QSpinBox* SpinEdit1 = nullptr; // MaxInfoBox
    QLineEdit* Edit2 = nullptr;    // Email
    QCheckBox* SoundCB = nullptr;
    QLineEdit* Edit1 = nullptr;    // SoundFile
    QToolButton* BrowseSB = nullptr;
    QToolButton* PlaySB = nullptr;
    QCheckBox* WelcomeCB = nullptr;
    QCheckBox* ThinkingCB = nullptr;
    QCheckBox* RecycleCB = nullptr;
    QCheckBox* DownloadCB = nullptr;
    QCheckBox* UploadCB = nullptr;
    QCheckBox* KeepTimesCB = nullptr;
    QSpinBox *CxRT = nullptr, *TxRT = nullptr, *RxRT = nullptr;
    QSpinBox *CxTOut = nullptr, *TxTOut = nullptr, *RxTOut = nullptr;
    QSpinBox *PacketLength = nullptr, *NOOPInterval = nullptr;
    std::array<QPushButton*, 5> panels_{};
    std::array<QColor, 5> colors_{};
    int loadedRecycle_ = 1; // a value other than 0 and 1 is kept unless the box changes
};

} // namespace vn
