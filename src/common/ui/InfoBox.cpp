#include "common/ui/InfoBox.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "common/ui/WireText.h"

namespace vn {
namespace {

// Every entry must stay one block of the document, or the ids drift.
QString oneLine(const QString& text) {
    QString s = text;
    for (QChar& c : s) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == QChar::ParagraphSeparator || u == QChar::LineSeparator)
            c = QLatin1Char(' ');
    }
    return s;
}

} // namespace

InfoBox::InfoBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Following is a state, not a look at the bar before each line: the bar's
    // range grows later (layout is lazy, a long line brings the horizontal
    // bar), so the box goes to the bottom whenever the range changes while it
    // follows. Only the user's own scrolling changes the state.
    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar] {
        if (!following_) return;
        const bool was = adjusting_;
        adjusting_ = true;
        bar->setValue(bar->maximum());
        adjusting_ = was;
    });
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int v) {
        if (!adjusting_) following_ = v >= bar->maximum();
    });
}

InfoBox::Edit::Edit(InfoBox& box) : box_(box), was_(box.adjusting_) { box_.adjusting_ = true; }

InfoBox::Edit::~Edit() {
    QScrollBar* bar = box_.verticalScrollBar();
    if (box_.following_) bar->setValue(bar->maximum());
    box_.adjusting_ = was_;
}

InfoBox::LineId InfoBox::addLine(const QString& text) {
    const QString line = oneLine(text);
    const LineId id = insertLine(line);
    mirror_.add(id, toWire(line));
    return id;
}

InfoBox::LineId InfoBox::addReplaceableLine(const QString& text) {
    const QString line = oneLine(text);
    const LineId id = insertLine(line);
    mirror_.addReplaceable(id, toWire(line));
    return id;
}

InfoBox::LineId InfoBox::insertLine(const QString& line) {
    const LineId id = nextId_++;
    {
        Edit edit(*this);
        QTextCursor c(document());
        c.movePosition(QTextCursor::End);
        // The empty document already has the block the first entry goes into.
        if (count_ > 0) c.insertBlock();
        c.insertText(line);
        ++count_;
        trim();
    }
    return id;
}

bool InfoBox::replaceLine(LineId id, const QString& text) {
    const QString line = oneLine(text);
    // Even a line trimmed from the box reaches the log file in its final form.
    mirror_.replace(id, toWire(line));
    if (id < firstId_ || id >= nextId_) return false;
    QTextBlock block = document()->findBlockByNumber(static_cast<int>(id - firstId_));
    if (!block.isValid()) return false;
    Edit edit(*this);
    QTextCursor c(block);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(line);
    return true;
}

void InfoBox::setMaxLines(int n) {
    maxLines_ = n > 0 ? n : 0;
    Edit edit(*this);
    trim();
}

void InfoBox::setMirrorCaption(const QString& caption) {
    caption_ = caption;
    mirror_.setCaption(toWire(caption));
}

QStringList InfoBox::lines() const {
    QStringList out;
    out.reserve(count_);
    int n = 0;
    for (QTextBlock b = document()->begin(); b.isValid() && n < count_; b = b.next(), ++n)
        out << b.text();
    return out;
}

void InfoBox::clearLines() {
    clear();
    firstId_ = nextId_;
    count_ = 0;
}

void InfoBox::trim() {
    if (maxLines_ <= 0 || count_ <= maxLines_) return;
    const int drop = count_ - maxLines_;
    const QTextBlock keep = document()->findBlockByNumber(drop);
    QTextCursor c(document());
    c.setPosition(keep.position(), QTextCursor::KeepAnchor);
    c.removeSelectedText();
    count_ -= drop;
    firstId_ += static_cast<LineId>(drop);
}

} // namespace vn
