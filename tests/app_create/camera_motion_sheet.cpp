// Lets the camera motion diagrams be looked at as a user would:
//   camera_motion_sheet OUT.png [SCALE]        every move, animated at a few moments and still, in one PNG
//   camera_motion_sheet --window               every move as live preview widgets, animated beside still
#include "app/create/camera_motion_painter.h"
#include "app/create/camera_motion_preview.h"
#include "platform/clock.h"
#include "platform/operating_system.h"

#include <QApplication>
#include <QFont>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPalette>

#include <cstdio>

using namespace quorvel::create;

namespace {

// Answers the reduce-motion question as told, so both forms can sit side by side.
class FixedMotionSetting final : public quorvel::platform::OperatingSystem {
public:
    explicit FixedMotionSetting(bool reduce)
        : reduce_(reduce)
    {
    }
    quorvel::platform::OperatingSystemVersion version() const override { return { 14, 0, 0 }; }
    bool reduceMotion() const override { return reduce_; }
    std::optional<quorvel::platform::BundleInfo> mainBundle() const override { return std::nullopt; }
    std::optional<quorvel::platform::BundleInfo> bundle(const QString&) const override { return std::nullopt; }

private:
    bool reduce_;
};

int showWindow(QApplication& app)
{
    static quorvel::platform::SystemClock clock;
    static FixedMotionSetting animated(false), still(true);
    QWidget window;
    auto* grid = new QGridLayout(&window);
    int row = 0;
    for (const Motion& motion : vocabulary::motions()) {
        grid->addWidget(new QLabel(motion.key), row, 0);
        for (int column = 1; column <= 2; ++column) {
            auto* preview = new CameraMotionPreview(clock, column == 1 ? animated : still);
            preview->setMotion(motion.key);
            grid->addWidget(preview, row, column);
        }
        ++row;
    }
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: camera_motion_sheet OUT.png [SCALE] | --window\n");
        return 2;
    }
    if (QString::fromLocal8Bit(argv[1]) == QStringLiteral("--window"))
        return showWindow(app);
    const double scale = argc > 2 ? QString::fromLocal8Bit(argv[2]).toDouble() : 3.0;
    const double moments[] = { 0.0, 0.25, 0.5, 0.75, 1.0 };
    const int columns = int(std::size(moments)) + 1;
    const QSizeF cell(diagramSize.width() * scale + 16, diagramSize.height() * scale + 28);
    const int labelWidth = 260;
    QImage sheet(int(labelWidth + columns * cell.width()), int((vocabulary::motions().size() + 1) * cell.height()),
        QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const DiagramColours colours = DiagramColours::fromPalette(app.palette());

    for (int c = 0; c < columns; ++c) {
        const QString title
            = c < columns - 1 ? QStringLiteral("t = %1").arg(moments[c]) : QStringLiteral("reduce motion");
        painter.drawText(QRectF(labelWidth + c * cell.width(), 0, cell.width(), cell.height()), Qt::AlignCenter, title);
    }
    int row = 1;
    for (const Motion& motion : vocabulary::motions()) {
        const CameraMotionSpec motionSpec = cameraMotionSpec(motion.key);
        const double top = row * cell.height();
        painter.setPen(Qt::black);
        painter.drawText(QRectF(8, top, labelWidth - 8, cell.height()), Qt::AlignVCenter | Qt::AlignLeft,
            motion.key + QStringLiteral("\n") + motionSpec.description);
        for (int c = 0; c < columns; ++c) {
            const CameraMotionFrame frame
                = c < columns - 1 ? cameraMotionFrame(motionSpec, moments[c]) : staticCameraMotionFrame(motionSpec);
            painter.save();
            painter.translate(labelWidth + c * cell.width() + 8, top + 14);
            painter.scale(scale, scale);
            paintCameraMotionFrame(painter, frame, colours);
            painter.restore();
        }
        ++row;
    }
    painter.end();
    if (!sheet.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
