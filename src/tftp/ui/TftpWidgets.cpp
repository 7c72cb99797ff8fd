#include "tftp/ui/TftpWidgets.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace vn::tftp {

namespace {

QString firstLocalPath(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& u : data->urls())
        if (u.isLocalFile()) return u.toLocalFile();
    return {};
}

} // namespace

DropLineEdit::DropLineEdit(QWidget* parent) : QLineEdit(parent) { setAcceptDrops(true); }

void DropLineEdit::dragEnterEvent(QDragEnterEvent* e) {
    if (!firstLocalPath(e->mimeData()).isEmpty()) e->acceptProposedAction();
    else QLineEdit::dragEnterEvent(e);
}

void DropLineEdit::dragMoveEvent(QDragMoveEvent* e) {
    if (!firstLocalPath(e->mimeData()).isEmpty()) e->acceptProposedAction();
    else QLineEdit::dragMoveEvent(e);
}

void DropLineEdit::dropEvent(QDropEvent* e) {
    const QString path = firstLocalPath(e->mimeData());
    if (path.isEmpty()) {
        QLineEdit::dropEvent(e);
        return;
    }
    e->acceptProposedAction();
    setText(path);
    emit dropped(path);
}

QString rateText(double bytesPerSecond) {
    static const char* const kUnits[] = {"bytes/s", "KB/s", "MB/s", "GB/s"};
    int unit = 0;
    double v = bytesPerSecond;
    while (v >= 1024.0 && unit < 3) {
        v /= 1024.0;
        ++unit;
    }
    if (unit == 0) return QStringLiteral("%1 %2").arg(static_cast<qint64>(v)).arg(QLatin1String(kUnits[0]));
    return QStringLiteral("%1 %2").arg(v, 0, 'f', 1).arg(QLatin1String(kUnits[unit]));
}

QString progressText(std::uint64_t bytes, double seconds) {
    QString text = QStringLiteral("%1 bytes").arg(static_cast<qulonglong>(bytes));
    if (seconds >= 0.1) text += QStringLiteral(" - ") + rateText(static_cast<double>(bytes) / seconds);
    return text;
}

} // namespace vn::tftp
