#include "bench/saver/video_probe.h"

#include <QEvent>
#include <QGraphicsVideoItem>
#include <QGraphicsView>
#include <QVideoFrame>
#include <QVideoSink>

namespace quorvel::bench {

VideoProbe::VideoProbe(std::function<void()> onFirstFramePainted)
    : onFirstFramePainted_(std::move(onFirstFramePainted))
{
    // Modules may build their video item only once their feed is read.
    scanTimer_.setInterval(5);
    connect(&scanTimer_, &QTimer::timeout, this, &VideoProbe::scan);
    scanTimer_.start();
}

void VideoProbe::watch(QWidget* view)
{
    views_ << view;
    scan();
}

void VideoProbe::scan()
{
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
                if (!video || video->property("probed").toBool())
                    continue;
                video->setProperty("probed", true);
                connect(video->videoSink(), &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
                    if (frame.isValid())
                        frameArrived_ = true;
                });
                graphicsView->viewport()->installEventFilter(this);
            }
        }
    }
}

bool VideoProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && frameArrived_ && !reported_) {
        reported_ = true;
        scanTimer_.stop();
        QMetaObject::invokeMethod(
            this, [this] { onFirstFramePainted_(); }, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quorvel::bench
