#pragma once
// Small parts both TFTP windows use: a line edit that takes a path dropped from
// the desktop, and the text of a transfer's progress.
#include <QLineEdit>
#include <QString>

#include <cstdint>

namespace vn::tftp {

// A field the desktop can drop files on: the full path of the first dropped
// local file becomes its text (and `dropped` is emitted).
class DropLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DropLineEdit(QWidget* parent = nullptr);

signals:
    void dropped(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
};

// "1048576 bytes - 2.5 MB/s": the byte count in decimal and the mean rate
// since the start (no rate before a tenth of a second has passed).
QString progressText(std::uint64_t bytes, double seconds);
// "1.5 KB/s", "12.0 MB/s" (1 KB = 1024 bytes).
QString rateText(double bytesPerSecond);

} // namespace vn::tftp
