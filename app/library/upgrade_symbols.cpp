#include "app/library/upgrade_symbols.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace quorvel::library {
namespace {

// Every shape is drawn on a 24 × 24 grid and scaled to the requested size.
constexpr qreal grid = 24.0;

QPainterPath star(QPointF centre, qreal outer, qreal inner)
{
    QPainterPath path;
    for (int i = 0; i < 8; ++i) {
        const qreal radius = i % 2 == 0 ? outer : inner;
        const qreal angle = i * std::numbers::pi / 4 - std::numbers::pi / 2;
        const QPointF point = centre + QPointF(std::cos(angle) * radius, std::sin(angle) * radius);
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QPainterPath bolt()
{
    QPainterPath path;
    path.moveTo(13.5, 4.5);
    path.lineTo(7.5, 13);
    path.lineTo(11.5, 13);
    path.lineTo(10.5, 19.5);
    path.lineTo(16.5, 11);
    path.lineTo(12.5, 11);
    path.closeSubpath();
    return path;
}

void drawNamed(QPainter& painter, const QString& name, const QColor& color)
{
    QPen line(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(line);
    painter.setBrush(Qt::NoBrush);
    if (name == QLatin1String("sparkles")) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(star({ 10, 13 }, 8, 2.2));
        painter.drawPath(star({ 18.5, 5.5 }, 4, 1.1));
        painter.drawPath(star({ 19, 18.5 }, 3, 0.9));
    } else if (name == QLatin1String("bolt.circle")) {
        painter.drawEllipse(QPointF(12, 12), 10, 10);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(bolt());
    } else if (name == QLatin1String("heart")) {
        QPainterPath heart;
        heart.moveTo(12, 20);
        heart.cubicTo(4, 14.5, 2.5, 11, 3.5, 7.5);
        heart.cubicTo(4.8, 3.8, 9.8, 3.2, 12, 7.2);
        heart.cubicTo(14.2, 3.2, 19.2, 3.8, 20.5, 7.5);
        heart.cubicTo(21.5, 11, 20, 14.5, 12, 20);
        painter.drawPath(heart);
    } else if (name == QLatin1String("globe")) {
        painter.drawEllipse(QPointF(12, 12), 10, 10);
        painter.drawEllipse(QPointF(12, 12), 4.5, 10);
        painter.drawLine(QPointF(2, 12), QPointF(22, 12));
        painter.drawLine(QPointF(3.8, 7), QPointF(20.2, 7));
        painter.drawLine(QPointF(3.8, 17), QPointF(20.2, 17));
    } else if (name == QLatin1String("person.crop.rectangle")) {
        painter.drawRoundedRect(QRectF(2.5, 3.5, 19, 17), 3, 3);
        painter.drawEllipse(QPointF(12, 10), 3.2, 3.2);
        QPainterPath shoulders;
        shoulders.moveTo(6.5, 20.5);
        shoulders.cubicTo(7, 15.5, 17, 15.5, 17.5, 20.5);
        painter.drawPath(shoulders);
    } else if (name == QLatin1String("dice")) {
        painter.drawRoundedRect(QRectF(3, 3, 18, 18), 4, 4);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        for (const QPointF pip : { QPointF(8, 8), QPointF(16, 8), QPointF(12, 12), QPointF(8, 16), QPointF(16, 16) })
            painter.drawEllipse(pip, 1.6, 1.6);
    } else if (name == QLatin1String("film")) {
        painter.drawRoundedRect(QRectF(3, 2.5, 18, 19), 2.5, 2.5);
        painter.drawLine(QPointF(7.5, 2.5), QPointF(7.5, 21.5));
        painter.drawLine(QPointF(16.5, 2.5), QPointF(16.5, 21.5));
        painter.drawLine(QPointF(7.5, 12), QPointF(16.5, 12));
        for (const qreal y : { 6.5, 12.0, 17.5 }) {
            painter.drawLine(QPointF(3, y), QPointF(7.5, y));
            painter.drawLine(QPointF(16.5, y), QPointF(21, y));
        }
    } else if (name == QLatin1String("checkmark.circle.fill")) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(12, 12), 10.5, 10.5);
        painter.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(QPolygonF({ QPointF(7, 12.5), QPointF(10.5, 16), QPointF(17, 8.5) }));
    } else if (name == QLatin1String("exclamationmark.triangle.fill")) {
        QPainterPath triangle;
        triangle.moveTo(12, 2.5);
        triangle.lineTo(22.5, 21);
        triangle.lineTo(1.5, 21);
        triangle.closeSubpath();
        painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(color);
        painter.drawPath(triangle);
        painter.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(12, 9), QPointF(12, 14.5));
        painter.drawPoint(QPointF(12, 18));
    }
}

} // namespace

QPixmap drawSymbol(const QString& name, int size, const QColor& color, qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / grid, size / grid);
    drawNamed(painter, name, color);
    return pixmap;
}

QLabel* symbolLabel(const QString& name, int size, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(parent);
    const qreal ratio = parent ? parent->devicePixelRatioF() : 1.0;
    label->setPixmap(drawSymbol(name, size, color, ratio));
    label->setFixedSize(size, size);
    label->setAccessibleName(name);
    label->setObjectName(QStringLiteral("symbol:") + name);
    return label;
}

} // namespace quorvel::library
