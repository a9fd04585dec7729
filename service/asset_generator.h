#pragma once
// Draws the static images the app shows (its logo and one thumbnail per style) into PNG files,
// once per data directory. No text is drawn, so no font or display is needed.

#include <QImage>
#include <QString>

namespace quorvel::service {

QImage drawLogo(int size = 256);
QImage drawStyleThumbnail(const QString& style, int size = 256);

// Writes "logo.png" and "styles/<key>.png" under `dir` where missing (each written whole, then
// renamed into place). Returns false with `error` set when one cannot be written.
bool ensureAssets(const QString& dir, QString* error);

} // namespace quorvel::service
