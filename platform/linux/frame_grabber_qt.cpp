#include "platform/linux/frame_grabber_qt.h"

#include <QDir>
#include <QMediaPlayer>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>

#include <memory>

namespace quorvel::platform {

namespace {

// One grab: owns its player and sink, reports once, then deletes itself (later, since it may be
// inside a signal of its own player).
class Grab final : public QObject {
public:
    Grab(const QUrl& clip, QObject* context, FrameGrabber::Done done, std::chrono::milliseconds timeout)
        : context_(context)
        , done_(std::move(done))
    {
        player_.setVideoSink(&sink_);
        // No audio output: the clip is decoded, never heard.
        connect(&sink_, &QVideoSink::videoFrameChanged, this, &Grab::onFrame);
        connect(&player_, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error, const QString& text) {
            finish({ {}, text.isEmpty() ? QStringLiteral("The clip can't be decoded.") : text });
        });
        connect(&player_, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::InvalidMedia)
                finish({ {}, QStringLiteral("The clip can't be decoded.") });
            else if (status == QMediaPlayer::EndOfMedia)
                finish({ {}, QStringLiteral("The clip has no picture.") });
        });
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] {
            finish({ {}, QStringLiteral("The clip took too long to decode.") });
        });
        if (context)
            connect(context, &QObject::destroyed, this, [this] {
                done_ = nullptr;
                finish({});
            });
        timer_.start(timeout);
        // Started from the event loop, so that not even an early error reports inside the request.
        QTimer::singleShot(0, this, [this, clip] {
            player_.setSource(clip);
            player_.play();
        });
    }

private:
    void onFrame(const QVideoFrame& frame)
    {
        if (!frame.isValid())
            return;
        QImage image = frame.toImage();
        if (!image.isNull())
            finish({ std::move(image), {} });
    }

    void finish(GrabbedFrame result)
    {
        if (finished_)
            return;
        finished_ = true;
        timer_.stop();
        disconnect(&sink_, nullptr, this, nullptr);
        // Paused, not stopped: a stop rewinds with a flushing seek that asks the server for the clip
        // again, and a grab ending that way beside a clip that has just started playing broke that
        // clip's stream ("Internal data stream error.") in 3 of 10 tries. Deleting the player ends it.
        player_.pause();
        if (context_ && done_)
            done_(std::move(result));
        deleteLater();
    }

    QMediaPlayer player_;
    QVideoSink sink_;
    QTimer timer_;
    QPointer<QObject> context_;
    FrameGrabber::Done done_;
    bool finished_ = false;
};

} // namespace

QString thumbnailCacheDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return QDir(base).filePath(QStringLiteral("com.quorvel.Quorvel/thumbnails"));
}

QtFrameGrabber::QtFrameGrabber(std::chrono::milliseconds timeout)
    : timeout_(timeout)
{
}

void QtFrameGrabber::grabFirstFrame(const QUrl& clip, QObject* context, Done done)
{
    new Grab(clip, context, std::move(done), timeout_);
}

} // namespace quorvel::platform
