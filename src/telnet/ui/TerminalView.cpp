#include "telnet/ui/TerminalView.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include <string>

#include "telnet/TelnetSession.h"

namespace vn::telnet {

QColor colorFromSetting(long long bgr) {
    const auto v = static_cast<unsigned long long>(bgr);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

long long settingFromColor(const QColor& c) {
    return static_cast<long long>(c.red()) | (static_cast<long long>(c.green()) << 8) |
           (static_cast<long long>(c.blue()) << 16);
}

TerminalView::TerminalView(TelnetSession& session, QWidget* parent) : QWidget(parent), session_(session) {
    setObjectName(QStringLiteral("Terminal"));
    setAccessibleName(QStringLiteral("Telnet Screen"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setLook(QFont(QStringLiteral("monospace"), 9), Qt::white, Qt::black);
}

void TerminalView::setLook(const QFont& font, const QColor& text, const QColor& background) {
    font_ = font;
    font_.setFixedPitch(true);
    font_.setStyleHint(QFont::TypeWriter);
    font_.setKerning(false);
    bold_ = font_;
    bold_.setBold(true);
    italic_ = font_;
    italic_.setItalic(true);
    boldItalic_ = bold_;
    boldItalic_.setItalic(true);
    text_ = text;
    background_ = background;
    const QFontMetrics m(font_);
    cellW_ = std::max(1, m.horizontalAdvance(QLatin1Char(' ')));
    cellH_ = std::max(1, m.height());
    ascent_ = m.ascent();
    updateGeometry();
    update();
}

QSize TerminalView::sizeHint() const { return {cellW_ * kColumns, cellH_ * kScreenRows}; }

QRect TerminalView::cellRect(int row, int col) const {
    return {(col - 1) * cellW_, (row - 1) * cellH_, cellW_, cellH_};
}

void TerminalView::updateRow(int row) {
    if (row >= 1 && row <= kScreenRows) update(0, (row - 1) * cellH_, width(), cellH_);
}

void TerminalView::refresh() {
    std::uint64_t damage;
    int cursorRow;
    {
        auto s = session_.screen();
        damage = s->takeDamage();
        cursorRow = s->cursor().row;
    }
    for (int r = 1; r <= kScreenRows; ++r)
        if (damage & (std::uint64_t{1} << (r - 1))) updateRow(r);
    updateRow(lastCursorRow_);
    updateRow(cursorRow);
    lastCursorRow_ = cursorRow;
}

void TerminalView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), background_);
    const int first = std::max(1, event->rect().top() / cellH_ + 1);
    const int last = std::min(kScreenRows, event->rect().bottom() / cellH_ + 1);
    auto s = session_.screen();
    const CursorPos cursor = s->cursor();
    const bool mark = s->cursorMarkShown();
    for (int r = first; r <= last; ++r) {
        // Runs of cells with the same attributes, each drawn at its own column.
        int c = 1;
        while (c <= kColumns) {
            const std::uint8_t a = s->cell(r, c).attrs;
            int end = c;
            std::u32string run;
            while (end <= kColumns && s->cell(r, end).attrs == a && !(mark && r == cursor.row && end == cursor.col)) {
                run += s->cell(r, end).ch;
                ++end;
            }
            if (run.empty()) { // the cursor cell: the mark alone, on the background
                p.setFont(font_);
                p.setPen(text_);
                p.drawText(QPoint((c - 1) * cellW_, (r - 1) * cellH_ + ascent_), QStringLiteral("_"));
                ++c;
                continue;
            }
            const bool reverse = a & Reverse;
            const QColor fg = reverse ? background_ : text_;
            const QColor bg = reverse ? text_ : background_;
            const QRect area((c - 1) * cellW_, (r - 1) * cellH_, (end - c) * cellW_, cellH_);
            if (reverse) p.fillRect(area, bg);
            const bool bold = a & Bold, italic = a & Underline; // underline is shown as italic type
            p.setFont(bold && italic ? boldItalic_ : bold ? bold_ : italic ? italic_ : font_);
            p.setPen(fg);
            const QString text = QString::fromUcs4(run.data(), static_cast<qsizetype>(run.size()));
            // One text per cell keeps every character in its column whatever the font does with bold.
            for (qsizetype i = 0, col = c; i < text.size(); ++col) {
                const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
                const QString one = text.mid(i, n);
                if (one != QLatin1String(" "))
                    p.drawText(QPoint(int(col - 1) * cellW_, (r - 1) * cellH_ + ascent_), one);
                i += n;
            }
            c = end;
        }
    }
}

void TerminalView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}

// Character events: Enter, Backspace and text go to the session as they are typed.
void TerminalView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: session_.typeCharacter("\r"); return;
    case Qt::Key_Backspace: session_.typeCharacter("\b"); return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Delete:
    case Qt::Key_Execute: return; // sent when released
    default: break;
    }
    const QString text = event->text();
    if (text.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    for (const QChar ch : text) {
        if (ch.isSurrogate()) { // a pair: send the whole text at once
            session_.typeCharacter(text.toStdString());
            return;
        }
        session_.typeCharacter(QString(ch).toStdString());
    }
}

// Key-up events: the keys the session sends as sequences.
void TerminalView::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat() && event->key() == Qt::Key_Tab) return;
    TelnetKey key;
    switch (event->key()) {
    case Qt::Key_Tab: key = TelnetKey::Tab; break;
    case Qt::Key_PageUp: key = TelnetKey::PageUp; break;
    case Qt::Key_PageDown: key = TelnetKey::PageDown; break;
    case Qt::Key_End: key = TelnetKey::End; break;
    case Qt::Key_Home: key = TelnetKey::Home; break;
    case Qt::Key_Left: key = TelnetKey::Left; break;
    case Qt::Key_Up: key = TelnetKey::Up; break;
    case Qt::Key_Right: key = TelnetKey::Right; break;
    case Qt::Key_Down: key = TelnetKey::Down; break;
    case Qt::Key_Delete: key = TelnetKey::Delete; break;
    case Qt::Key_Execute:
        if (!(event->modifiers() & Qt::ControlModifier)) return;
        key = TelnetKey::CtrlExecute;
        break;
    default: QWidget::keyReleaseEvent(event); return;
    }
    session_.pressKey(key);
}

} // namespace vn::telnet
