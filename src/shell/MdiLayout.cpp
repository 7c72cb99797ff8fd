#include "shell/MdiLayout.h"

#include <algorithm>
#include <cmath>

namespace vn {

namespace {

// Start of part i when `length` is split into `parts` (remainder spread evenly).
int cut(int length, int parts, int i) { return int((long long)length * i / parts); }

} // namespace

std::vector<QRect> tileRects(const QRect& area, int count, TileOrientation orientation) {
    std::vector<QRect> out;
    if (count <= 0 || area.isEmpty()) return out;
    const int bands = count <= 3 ? 1 : int(std::floor(std::sqrt(double(count))));
    const int base = count / bands, extra = count % bands;
    // Bands run across the orientation: columns for Horizontal, rows for Vertical.
    const bool horizontal = orientation == TileOrientation::Horizontal;
    const int across = horizontal ? area.width() : area.height();
    const int along = horizontal ? area.height() : area.width();
    for (int b = 0; b < bands; ++b) {
        const int inBand = base + (b >= bands - extra ? 1 : 0);
        const int a0 = cut(across, bands, b), a1 = cut(across, bands, b + 1);
        for (int k = 0; k < inBand; ++k) {
            const int l0 = cut(along, inBand, k), l1 = cut(along, inBand, k + 1);
            if (horizontal)
                out.emplace_back(area.left() + a0, area.top() + l0, a1 - a0, l1 - l0);
            else
                out.emplace_back(area.left() + l0, area.top() + a0, l1 - l0, a1 - a0);
        }
    }
    return out;
}

std::vector<QRect> iconRects(const QRect& area, const QSize& icon, int count) {
    std::vector<QRect> out;
    if (count <= 0 || icon.isEmpty()) return out;
    const int perRow = std::max(1, area.width() / icon.width());
    for (int i = 0; i < count; ++i) {
        const int row = i / perRow, col = i % perRow;
        out.emplace_back(area.left() + col * icon.width(), area.bottom() + 1 - (row + 1) * icon.height(),
                         icon.width(), icon.height());
    }
    return out;
}

int iconRowsHeight(const QRect& area, const QSize& icon, int count) {
    if (count <= 0 || icon.isEmpty()) return 0;
    const int perRow = std::max(1, area.width() / icon.width());
    return ((count + perRow - 1) / perRow) * icon.height();
}

QString windowListCaption(int index, int count, const QString& caption) {
    QString text = caption;
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QLatin1Char('&') + QString::number(count - index - 1) + QLatin1Char(' ') + text;
}

} // namespace vn
