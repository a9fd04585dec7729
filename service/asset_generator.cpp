#include "service/asset_generator.h"

#include "service/vocabulary.h"

#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QtMath>

namespace quorvel::service {
namespace {

bool writePng(const QImage& image, const QString& path, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        *error = QStringLiteral("couldn't write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// Each style gets a gradient in its own colours plus a motif, so thumbnails tell apart at a glance.
void drawMotif(QPainter& p, const QString& style, int size, const QColor& a, const QColor& b)
{
    const int index = qMax(0, vocabulary::styles().indexOf(style));
    p.setPen(Qt::NoPen);
    switch (index % 6) {
    case 0: // sun and horizon lines
        p.setBrush(b.lighter(120));
        p.drawEllipse(QPointF(size / 2.0, size * 0.55), size * 0.25, size * 0.25);
        p.setBrush(a);
        for (int i = 0; i < 5; ++i)
            p.drawRect(QRectF(0, size * (0.55 + i * 0.06), size, size * 0.02 + i * 1.5));
        break;
    case 1: // pixel grid
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                if ((x * 7 + y * 3 + index) % 5 < 2) {
                    p.setBrush((x + y) % 2 ? a : b);
                    p.drawRect(QRectF(x * size / 8.0, y * size / 8.0, size / 8.0, size / 8.0));
                }
        break;
    case 2: // concentric rings
        p.setBrush(Qt::NoBrush);
        for (int i = 1; i <= 5; ++i) {
            p.setPen(QPen(i % 2 ? a : b, size * 0.03));
            p.drawEllipse(QPointF(size / 2.0, size / 2.0), size * 0.08 * i, size * 0.08 * i);
        }
        break;
    case 3: // stacked hills
        for (int i = 0; i < 3; ++i) {
            QPainterPath hill;
            hill.moveTo(0, size);
            hill.cubicTo(size * 0.3, size * (0.45 + 0.12 * i), size * 0.7, size * (0.75 - 0.1 * i), size,
                size * (0.5 + 0.1 * i));
            hill.lineTo(size, size);
            hill.closeSubpath();
            p.setBrush(i % 2 ? a.darker(110 + 20 * i) : b.darker(110 + 20 * i));
            p.drawPath(hill);
        }
        break;
    case 4: // diagonal stripes
        p.setBrush(b);
        for (int i = -size; i < size * 2; i += size / 6) {
            QPolygonF stripe { QPointF(i, 0), QPointF(i + size / 12.0, 0), QPointF(i + size / 12.0 - size, size),
                QPointF(i - size, size) };
            p.drawPolygon(stripe);
        }
        break;
    default: // tiles of glass
        for (int i = 0; i < 9; ++i) {
            p.setBrush(i % 3 == 0 ? a : (i % 3 == 1 ? b : a.lighter(150)));
            const qreal cell = size / 3.0;
            p.drawRoundedRect(QRectF((i % 3) * cell + 4, (i / 3) * cell + 4, cell - 8, cell - 8), 10, 10);
        }
        break;
    }
}

} // namespace

QImage drawLogo(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, size, size);
    background.setColorAt(0, QColor(0x7b2cbf));
    background.setColorAt(1, QColor(0xff006e));
    p.setBrush(background);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.22, size * 0.22);

    // A ring with a tail: the product's mark.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, size * 0.1, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(QPointF(size * 0.47, size * 0.47), size * 0.24, size * 0.24);
    p.drawLine(QPointF(size * 0.62, size * 0.62), QPointF(size * 0.78, size * 0.78));
    return image;
}

QImage drawStyleThumbnail(const QString& style, int size)
{
    const auto [a, b] = vocabulary::styleColors(style);
    QImage image(size, size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, size);
    background.setColorAt(0, a);
    background.setColorAt(1, b);
    p.fillRect(image.rect(), background);
    drawMotif(p, style, size, a, b);
    return image;
}

bool ensureAssets(const QString& dir, QString* error)
{
    if (!QDir().mkpath(dir + QStringLiteral("/styles"))) {
        *error = QStringLiteral("couldn't create %1/styles").arg(dir);
        return false;
    }
    const QString logo = dir + QStringLiteral("/logo.png");
    if (!QFileInfo::exists(logo) && !writePng(drawLogo(), logo, error))
        return false;
    for (const QString& style : vocabulary::styles()) {
        const QString path = dir + QStringLiteral("/styles/") + style + QStringLiteral(".png");
        if (!QFileInfo::exists(path) && !writePng(drawStyleThumbnail(style), path, error))
            return false;
    }
    return true;
}

} // namespace quorvel::service
