#include "bench/saver/clip_change_probe.h"

#include <QEvent>
#include <QGraphicsVideoItem>
#include <QGraphicsView>
#include <QImage>
#include <QVideoSink>

#include <chrono>

namespace quorvel::bench {

double monotonicMs()
{
    // steady_clock is CLOCK_MONOTONIC here, the clock the run script reads as well.
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool isBlackFrame(const QVideoFrame& frame)
{
    // Only the centre matters: aspect-fill crops the edges anyway.
    const QImage image = frame.toImage();
    if (image.isNull())
        return true;
    const QImage centre = image.copy(image.width() / 4, image.height() / 4, image.width() / 2, image.height() / 2)
                              .scaled(16, 16)
                              .convertToFormat(QImage::Format_Grayscale8);
    long sum = 0;
    for (int y = 0; y < centre.height(); ++y)
        for (int x = 0; x < centre.width(); ++x)
            sum += centre.constScanLine(y)[x];
    return sum / (centre.width() * centre.height()) < kBlackLuma;
}

ClipChangeProbe::ClipChangeProbe()
{
    clock_.start();
    // The module builds its video item when it makes its view; look until it is there.
    scanTimer_.setInterval(5);
    connect(&scanTimer_, &QTimer::timeout, this, &ClipChangeProbe::scan);
    scanTimer_.start();
}

void ClipChangeProbe::watch(QWidget* view)
{
    views_ << view;
    scan();
}

void ClipChangeProbe::scan()
{
    if (sink_)
        return;
    for (const QPointer<QWidget>& view : views_) {
        if (!view)
            continue;
        QList<QGraphicsView*> graphicsViews = view->findChildren<QGraphicsView*>();
        if (auto* self = qobject_cast<QGraphicsView*>(view.data()))
            graphicsViews << self;
        for (QGraphicsView* graphicsView : graphicsViews) {
            if (!graphicsView->scene())
                continue;
            for (QGraphicsItem* item : graphicsView->scene()->items()) {
                auto* video = dynamic_cast<QGraphicsVideoItem*>(item);
                if (!video)
                    continue;
                sink_ = video->videoSink();
                connect(sink_, &QVideoSink::videoFrameChanged, this, &ClipChangeProbe::frameArrived);
                graphicsView->viewport()->installEventFilter(this);
                scanTimer_.stop();
                return;
            }
        }
    }
}

void ClipChangeProbe::markChange(const QString& url)
{
    // The first clip of the run is no change; neither is a second mark before any new frame.
    if (lastFrameAt_ < 0 || awaiting_ || !sink_)
        return;
    awaiting_ = true;
    awaitingFromCache_ = url.startsWith(QLatin1String("file:"));
    markedAt_ = clock_.nsecsElapsed();
    held_ = sink_->videoFrame();
    heldBlack_ = held_.isValid() && isBlackFrame(held_);
}

void ClipChangeProbe::frameArrived(const QVideoFrame& frame)
{
    const qint64 now = clock_.nsecsElapsed();
    if (!frame.isValid()) {
        if (awaiting_)
            ++blankDelivered_;
        return;
    }
    arrivalsMs_.push_back(monotonicMs());
    if (awaiting_) {
        awaiting_ = false;
        if (isBlackFrame(frame))
            ++blackFirst_;
        changes_.push_back({ (now - lastFrameAt_) / 1e6, (now - markedAt_) / 1e6, awaitingFromCache_ });
    }
    lastFrameAt_ = now;
}

bool ClipChangeProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && awaiting_ && sink_) {
        // The video item paints whatever its sink holds now.
        ++repaints_;
        const QVideoFrame shown = sink_->videoFrame();
        if (!shown.isValid())
            ++blankPainted_;
        else if (shown == held_ ? heldBlack_ : isBlackFrame(shown))
            ++blackPainted_;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quorvel::bench
