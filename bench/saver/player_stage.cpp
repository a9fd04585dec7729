#include "bench/saver/player_stage.h"

#include <QEvent>
#include <QFile>
#include <QImage>
#include <QVideoFrame>
#include <QVideoSink>

namespace quorvel::bench {

PlayerStage::PlayerStage(QSize size)
{
    view_.setScene(&scene_);
    view_.setBackgroundBrush(Qt::black);
    view_.setFrameShape(QFrame::NoFrame);
    view_.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_.resize(size);
    scene_.setSceneRect(0, 0, size.width(), size.height());
    item_.setAspectRatioMode(Qt::KeepAspectRatioByExpanding);
    item_.setSize(size);
    scene_.addItem(&item_);
    player_.setVideoSink(item_.videoSink());
    connect(item_.videoSink(), &QVideoSink::videoFrameChanged, this, &PlayerStage::frameArrived);
    view_.viewport()->installEventFilter(this);
}

void PlayerStage::expectNewItem()
{
    waitingForFirst_ = true;
    firstArrived_ = false;
}

void PlayerStage::frameArrived(const QVideoFrame& frame)
{
    bool black = false;
    if (frame.isValid() && waitingForFirst_ && onFrame) {
        // Only the centre matters: aspect-fill crops the edges anyway.
        const QImage image = frame.toImage();
        const QImage centre = image.copy(image.width() / 4, image.height() / 4, image.width() / 2, image.height() / 2)
                                  .scaled(16, 16)
                                  .convertToFormat(QImage::Format_Grayscale8);
        long sum = 0;
        for (int y = 0; y < centre.height(); ++y)
            for (int x = 0; x < centre.width(); ++x)
                sum += centre.constScanLine(y)[x];
        black = sum / (centre.width() * centre.height()) < kBlackLuma;
    }
    if (onFrame)
        onFrame(frame.isValid(), black);
    if (waitingForFirst_ && frame.isValid())
        firstArrived_ = true;
}

bool PlayerStage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && waitingForFirst_ && firstArrived_) {
        // The paint runs after this filter; report once it is done.
        waitingForFirst_ = false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (onFirstFramePainted)
                    onFirstFramePainted();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

namespace {
long statusField(const char* name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLong();
    return -1;
}
} // namespace

long residentKilobytes()
{
    return statusField("VmRSS:");
}
long peakResidentKilobytes()
{
    return statusField("VmHWM:");
}

} // namespace quorvel::bench
