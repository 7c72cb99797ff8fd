#pragma once
// Geometry and captions of the Windows menu commands, kept free of widgets so
// they can be checked on their own.
#include <QRect>
#include <QString>

#include <vector>

namespace vn {

// Horizontal: children one above the other, each as wide as the area ("Tile");
// vertical: side by side, each as tall as the area ("Strip"). Up to three
// children share the area in bands; more make a grid of floor(sqrt(n)) bands,
// the last bands holding one child more. The rectangles cover the area
// exactly, without overlap, first child first.
enum class TileOrientation { Horizontal, Vertical };
std::vector<QRect> tileRects(const QRect& area, int count, TileOrientation orientation);

// Minimised children in rows along the bottom of the area, left to right,
// further rows above; a row holds at least one icon.
std::vector<QRect> iconRects(const QRect& area, const QSize& icon, int count);
// Height the icon rows of iconRects take (0 without icons).
int iconRowsHeight(const QRect& area, const QSize& icon, int count);

// Windows-menu entry of the child with z-order index `index` (0 = active) of
// `count`: "&" + (count - index - 1) + " " + caption, the caption's "&" escaped.
QString windowListCaption(int index, int count, const QString& caption);

} // namespace vn
