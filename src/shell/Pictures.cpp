#include "shell/Pictures.h"

#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "shell/ProductInfo.h"

// The icon's resources live in a library of their own, which the linker
// keeps only when something names them.
static void initProgramIcon() { Q_INIT_RESOURCE(program_icon); }

namespace vn {

namespace {

// The program's icon as the desktop shows it, drawn from data/icons/varnelo.svg.
QIcon desktopIcon() {
    static const bool loaded = (initProgramIcon(), true);
    (void)loaded;
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/varnelo/%1x%1/varnelo.png").arg(side), QSize(side, side));
    return icon;
}

QPixmap iconPixmap(int side) { return desktopIcon().pixmap(side, side); }

} // namespace

QIcon programIcon() { return desktopIcon(); }

QPixmap productPicture(const QSize& size) {
    QPixmap pm(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, QColor(0x1c, 0x4e, 0xa0));
    g.setColorAt(1, QColor(0x06, 0x16, 0x3a));
    p.fillRect(pm.rect(), g);
    const int side = size.width() / 2;
    p.drawPixmap((size.width() - side) / 2, size.height() / 6, iconPixmap(side));
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(std::max(12, size.width() / 11));
    p.setFont(f);
    p.setPen(Qt::white);
    const int textTop = size.height() / 6 + side + 10;
    p.drawText(QRect(0, textTop, size.width(), f.pixelSize() + 8), Qt::AlignCenter,
               QString::fromLatin1(product::kMainCaption));
    f.setBold(false);
    f.setPixelSize(std::max(10, size.width() / 18));
    p.setFont(f);
    p.drawText(QRect(0, textTop + f.pixelSize() * 2 + 6, size.width(), f.pixelSize() + 6), Qt::AlignCenter,
               QStringLiteral("Version %1").arg(QString::fromLatin1(product::kVersion)));
    return pm;
}

} // namespace vn
