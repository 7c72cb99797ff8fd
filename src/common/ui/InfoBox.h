#pragma once
// The information box of a tool window: a read-only log, one line per entry,
// always plain text (server replies are never taken as markup). Each added
// line is mirrored to the log file (vn::LogMirror) under the window's caption.
#include <QPlainTextEdit>
#include <QStringList>

#include "common/LogMirror.h"

namespace vn {

class InfoBox : public QPlainTextEdit {
    Q_OBJECT
public:
    using LineId = quint64;

    explicit InfoBox(QWidget* parent = nullptr);

    // Line breaks inside text are shown as blanks so an entry stays one line.
    LineId addLine(const QString& text);
    // A line a later replaceLine() rewrites (progress, speed): the log file
    // gets it in its final form, when the next ordinary line comes.
    LineId addReplaceableLine(const QString& text);
    // Replaces the entry in place; false when it is no longer in the box
    // (trimmed or cleared). A replacement is not mirrored again.
    bool replaceLine(LineId id, const QString& text);

    // Keep at most n lines (the oldest go first); 0 keeps all.
    void setMaxLines(int n);
    int maxLines() const { return maxLines_; }

    void setMirrorCaption(const QString& caption);
    QString mirrorCaption() const { return caption_; }

    // Stays at the bottom while lines arrive, as long as the user has not
    // scrolled away from it.
    bool following() const { return following_; }

    int lineCount() const { return count_; }
    QStringList lines() const;
    void clearLines();

private:
    // The program's own change of the text: the bar's moves are not the user's.
    class Edit {
    public:
        explicit Edit(InfoBox& box);
        ~Edit();

    private:
        InfoBox& box_;
        bool was_;
    };
    void trim();

    LineId insertLine(const QString& line);

    QString caption_;
    WindowLogMirror mirror_;
    int maxLines_ = 0;
    int count_ = 0;        // entries in the box
    LineId firstId_ = 0;   // id of the first entry still in the box
    LineId nextId_ = 0;    // id the next entry gets
    bool following_ = true;
    bool adjusting_ = false;
};

} // namespace vn
