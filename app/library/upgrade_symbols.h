#pragma once
// The few symbols the preview and plans windows show beside their lines, drawn as vector shapes
// so they look the same on every desktop, whatever icon theme or fonts it has.

#include <QColor>
#include <QPixmap>
#include <QString>

class QLabel;

namespace quorvel::library {

// Names as the windows' models give them ("sparkles", "bolt.circle", "heart", "globe",
// "person.crop.rectangle", "dice", "film", "checkmark.circle.fill", "exclamationmark.triangle.fill").
// An unknown name draws nothing (a transparent square). `size` is in device-independent pixels;
// `devicePixelRatio` sharpens it on scaled screens.
QPixmap drawSymbol(const QString& name, int size, const QColor& color, qreal devicePixelRatio = 1.0);

// A label showing the symbol, named for assistive tools after the symbol.
QLabel* symbolLabel(const QString& name, int size, const QColor& color, QWidget* parent = nullptr);

} // namespace quorvel::library
