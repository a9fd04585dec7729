#include "app/shell/app_icon.h"

#include "app/shell/rainbow_animator.h"

#include <QPainter>
#include <QPainterPath>

namespace quorvel::app {

QImage drawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal margin = size * 0.06;
    const QRectF tile(margin, margin, size - 2 * margin, size - 2 * margin);
    QLinearGradient night(tile.topLeft(), tile.bottomLeft());
    night.setColorAt(0, QColor(38, 36, 64));
    night.setColorAt(1, QColor(16, 15, 30));
    painter.setPen(Qt::NoPen);
    painter.setBrush(night);
    painter.drawRoundedRect(tile, tile.width() * 0.22, tile.width() * 0.22);

    // Concentric arcs, outermost first, in the palette's order.
    const auto& colors = RainbowAnimator::colors();
    const QPointF center(tile.center().x(), tile.top() + tile.height() * 0.70);
    const qreal band = tile.width() * 0.055;
    qreal radius = tile.width() * 0.40;
    for (const QColor& color : colors) {
        QPen pen(color, band, Qt::SolidLine, Qt::FlatCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius), 0, 180 * 16);
        radius -= band;
    }
    // A screen's foot under the arc: this is a screensaver.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(235, 235, 245));
    const qreal footWidth = tile.width() * 0.34;
    painter.drawRoundedRect(
        QRectF(center.x() - footWidth / 2, center.y() + tile.height() * 0.06, footWidth, tile.height() * 0.045),
        band / 3, band / 3);
    return image;
}

} // namespace quorvel::app
