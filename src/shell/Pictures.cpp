#include "shell/Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "shell/ProductInfo.h"

namespace vn {

namespace {

QPixmap iconPixmap(int side) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, side);
    g.setColorAt(0, QColor(0x2f, 0x6f, 0xc8));
    g.setColorAt(1, QColor(0x12, 0x35, 0x7a));
    QPainterPath path;
    path.addRoundedRect(QRectF(0.5, 0.5, side - 1, side - 1), side / 6.0, side / 6.0);
    p.fillPath(path, g);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(side * 2 / 3);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, side, side), Qt::AlignCenter, QStringLiteral("V"));
    return pm;
}

} // namespace

QIcon programIcon() {
    QIcon icon;
    for (int side : {16, 32, 48, 64}) icon.addPixmap(iconPixmap(side));
    return icon;
}

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
