#include "ftp/explorer/TFilePropfrm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/ui/WireText.h"

namespace vn {
namespace {

constexpr int kPictureSize = 32;

// Names and attributes come from servers: always plain text, never markup.
QLabel* line(const char* name, const QString& text, bool bold, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setText(text);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    // An empty line keeps its height.
    label->setMinimumHeight(label->fontMetrics().height());
    return label;
}

void drawFolder(QPainter& p) {
    QPainterPath tab;
    tab.moveTo(2, 8);
    tab.lineTo(2, 5);
    tab.lineTo(11, 5);
    tab.lineTo(14, 8);
    tab.closeSubpath();
    p.setPen(QColor(0x80, 0x60, 0x00));
    p.setBrush(QColor(0xe8, 0xb8, 0x30));
    p.drawPath(tab);
    p.setBrush(QColor(0xf8, 0xd0, 0x48));
    p.drawRect(QRectF(2, 8, 27, 18));
}

void drawFile(QPainter& p) {
    QPainterPath page;
    page.moveTo(7, 2);
    page.lineTo(20, 2);
    page.lineTo(26, 8);
    page.lineTo(26, 29);
    page.lineTo(7, 29);
    page.closeSubpath();
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(0xd0, 0xd0, 0xd0));
    QPainterPath fold;
    fold.moveTo(20, 2);
    fold.lineTo(20, 8);
    fold.lineTo(26, 8);
    fold.closeSubpath();
    p.drawPath(fold);
    p.setPen(QColor(0x90, 0x90, 0x90));
    for (int y = 12; y <= 24; y += 4) p.drawLine(10, y, 23, y);
}

// A small globe at the bottom right marks a server's item.
void drawRemoteMark(QPainter& p) {
    const QRectF globe(17, 17, 14, 14);
    p.setPen(QPen(QColor(0x10, 0x30, 0x80), 1));
    p.setBrush(QColor(0x40, 0x80, 0xe0));
    p.drawEllipse(globe);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xe0, 0xf0, 0xff), 1));
    p.drawEllipse(QRectF(21, 17, 6, 14));
    p.drawLine(QPointF(17, 24), QPointF(31, 24));
}

} // namespace

TFilePropfrm::Picture TFilePropfrm::pictureFor(bool isFolder, bool isRemote) {
    if (isFolder) return isRemote ? Picture::RemoteFolder : Picture::LocalFolder;
    return isRemote ? Picture::RemoteFile : Picture::LocalFile;
}

QPixmap TFilePropfrm::pixmapFor(Picture picture) {
    QPixmap pm(kPictureSize, kPictureSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const bool folder = picture == Picture::LocalFolder || picture == Picture::RemoteFolder;
    if (folder)
        drawFolder(p);
    else
        drawFile(p);
    if (picture == Picture::RemoteFolder || picture == Picture::RemoteFile) drawRemoteMark(p);
    return pm;
}

TFilePropfrm::TFilePropfrm(const Values& v, QWidget* parent)
    : QDialog(parent), picture_(pictureFor(v.isFolder, v.isRemote)) {
    setObjectName(QStringLiteral("FilePropfrm"));
    setWindowTitle(QStringLiteral("File Properties"));

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setFixedSize(kPictureSize, kPictureSize);
    image->setPixmap(pixmapFor(picture_));

    const QString size = v.size.empty()
        ? QString()
        : QStringLiteral("Size : ") + fromWire(v.size) + QStringLiteral(" Bytes");

    auto* lines = new QVBoxLayout;
    lines->addWidget(line("NameLabel", fromWire(v.name), true, this));
    lines->addWidget(line("TypeLabel", QStringLiteral("Type : ") + fromWire(v.type), false, this));
    lines->addWidget(line("FolderLabel", QStringLiteral("Folder :") + fromWire(v.folder), false, this));
    lines->addWidget(line("SizeLabel", size, false, this));
    lines->addWidget(line("ModifiedLabel", QStringLiteral("Last Modification : ") + fromWire(v.modified), false, this));
    lines->addWidget(line("AttributesLabel", QStringLiteral("Attributes : ") + fromWire(v.attributes), true, this));

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(image, 0, 0, Qt::AlignTop | Qt::AlignLeft);
    grid->addLayout(lines, 0, 1);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addStretch(1);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace vn
