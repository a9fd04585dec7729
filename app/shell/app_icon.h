#pragma once
// The app's icon, drawn rather than shipped: a rainbow of the preview palette on a dark tile.

#include <QImage>

namespace quorvel::app {

// A square image of `size` pixels with a transparent margin, as desktop icon themes expect.
QImage drawAppIcon(int size);

} // namespace quorvel::app
