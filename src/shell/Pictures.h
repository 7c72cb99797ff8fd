#pragma once
// The program icon and the product picture, drawn rather than shipped.
#include <QIcon>
#include <QPixmap>

namespace vn {

QIcon programIcon();
QPixmap productPicture(const QSize& size);

} // namespace vn
