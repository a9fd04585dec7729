#pragma once
// First-frame thumbnails of clips, made once per clip and kept on disk, so that opening a long
// library reads small pictures instead of decoding its clips again.

#include "platform/frame_grabber.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>

namespace quorvel::library {

// How much the thumbnail folder may hold. A thumbnail is about 20 KB, so the defaults keep a few
// months of a busy library while the folder stays small.
struct ThumbnailBounds {
    int files = 600;
    qint64 bytes = 32 * 1024 * 1024;
};

class ThumbnailCache final : public QObject {
    Q_OBJECT
public:
    // Pictures are kept no wider than this.
    static constexpr int maxWidth = 480;

    using Bounds = ThumbnailBounds;

    // `directory` is created when the first thumbnail is stored. The folder is brought within
    // `bounds` on a pool thread, so a large folder never holds up the window that made the cache.
    ThumbnailCache(std::shared_ptr<platform::FrameGrabber> grabber, QString directory, QObject* parent = nullptr,
        Bounds bounds = {});

    // A half-written thumbnail older than this belongs to a save that will never finish.
    static constexpr int staleSaveSeconds = 5 * 60;

    // Deletes the thumbnails used longest ago until `directory` is within `bounds`, and the
    // leftovers of interrupted saves older than `staleSaveSeconds`; other files are left alone.
    // Returns how many were deleted.
    static int prune(const QString& directory, Bounds bounds);

    // The thumbnail when it is in memory or on disk; a null image otherwise. Never decodes. A file
    // read here counts as used now, so pruning keeps it.
    QImage cached(const QUrl& clip);
    // Makes sure `ready` follows with the clip's thumbnail: from disk at once, else after one
    // decode. Decodes run one at a time, the most recently requested first; a clip whose decode
    // failed is not tried again until `retryFailures`.
    void request(const QUrl& clip);
    // A failed decode may have met an outage: the next opening of a window tries those clips again.
    void retryFailures() { failed_.clear(); }
    // The file that holds (or would hold) the clip's thumbnail.
    QString pathFor(const QUrl& clip) const;

signals:
    void ready(const QUrl& clip, const QImage& image);

private:
    void startNext();
    void finished(const QUrl& clip, const platform::GrabbedFrame& frame);

    std::shared_ptr<platform::FrameGrabber> grabber_;
    QString directory_;
    QHash<QUrl, QImage> memory_;
    // Waiting for a decode, oldest first.
    QList<QUrl> waiting_;
    // Failed since the last `retryFailures`.
    QSet<QUrl> failed_;
    QUrl decoding_;
    bool busy_ = false;
};

} // namespace quorvel::library
