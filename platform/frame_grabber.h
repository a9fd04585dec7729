#pragma once
// Decoding the first picture of a clip, for thumbnails.

#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

namespace quorvel::platform {

// The first frame of a clip, or why there is none.
struct GrabbedFrame {
    QImage image;
    // Empty when `image` holds the frame.
    QString error;
};

class FrameGrabber {
public:
    using Done = std::function<void(GrabbedFrame)>;

    virtual ~FrameGrabber() = default;
    // Decodes the first frame of `clip` and calls `done` once on the main thread, never from
    // inside this call; not at all once `context` is gone.
    virtual void grabFirstFrame(const QUrl& clip, QObject* context, Done done) = 0;
};

// Where the app keeps its clip thumbnails: $XDG_CACHE_HOME/com.quorvel.Quorvel/thumbnails (not created here).
QString thumbnailCacheDirectory();

} // namespace quorvel::platform
