#pragma once
// The Telnet window's screen: it paints the session's screen model (rows 1 to
// 24, each cell with its attributes, the cursor mark) and turns the user's
// keys into session calls. It knows nothing of escape sequences or Telnet
// commands: those live in the engine.
#include <QColor>
#include <QFont>
#include <QWidget>

#include <cstdint>

namespace vn::telnet {

class TelnetSession;

// A colour of the settings, 0x00BBGGRR.
QColor colorFromSetting(long long bgr);
long long settingFromColor(const QColor& c);

class TerminalView : public QWidget {
    Q_OBJECT
public:
    TerminalView(TelnetSession& session, QWidget* parent = nullptr);

    // The look: the font is always used with fixed pitch.
    void setLook(const QFont& font, const QColor& text, const QColor& background);
    const QFont& terminalFont() const { return font_; }
    QColor textColor() const { return text_; }
    QColor backgroundColor() const { return background_; }
    // The cell of row r, column c (from 1) in widget coordinates.
    QRect cellRect(int row, int col) const;
    QSize cellSize() const { return {cellW_, cellH_}; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

public slots:
    // The model changed: repaint its damaged rows and the cursor's old and new rows.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; } // Tab belongs to the server
    void mousePressEvent(QMouseEvent* event) override;

private:
    void updateRow(int row);

    TelnetSession& session_;
    QFont font_, bold_, italic_, boldItalic_;
    QColor text_ = Qt::white, background_ = Qt::black;
    int cellW_ = 8, cellH_ = 16, ascent_ = 12;
    int lastCursorRow_ = 1;
};

} // namespace vn::telnet
