#include "app/library/thumbnail_cache.h"

#include "platform/log.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QThreadPool>

#include <algorithm>

namespace quorvel::library {

ThumbnailCache::ThumbnailCache(
    std::shared_ptr<platform::FrameGrabber> grabber, QString directory, QObject* parent, Bounds bounds)
    : QObject(parent)
    , grabber_(std::move(grabber))
    , directory_(std::move(directory))
{
    // The job holds copies only, so it may outlive the cache. A thumbnail stored meanwhile is the
    // newest file and survives it.
    QThreadPool::globalInstance()->start([directory = directory_, bounds] { prune(directory, bounds); });
}

int ThumbnailCache::prune(const QString& directory, Bounds bounds)
{
    static const QRegularExpression name(QStringLiteral("^[0-9a-f]{64}\\.jpg$"));
    // What a save cut short leaves behind: the thumbnail's name and a six-character suffix. A
    // young one may still be being written by another window, so only old ones go.
    static const QRegularExpression partial(QStringLiteral("^[0-9a-f]{64}\\.jpg\\.[A-Za-z0-9]{6}$"));
    const QDateTime abandoned = QDateTime::currentDateTimeUtc().addSecs(-staleSaveSeconds);
    int removed = 0;
    QFileInfoList files;
    for (const QFileInfo& file : QDir(directory).entryInfoList(QDir::Files | QDir::NoDotAndDotDot)) {
        if (name.match(file.fileName()).hasMatch())
            files.append(file);
        else if (partial.match(file.fileName()).hasMatch() && file.lastModified() < abandoned)
            removed += QFile::remove(file.filePath()) ? 1 : 0;
    }
    // Most recently used first; names break ties so the outcome never depends on listing order.
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const QDateTime left = a.lastModified(), right = b.lastModified();
        return left != right ? left > right : a.fileName() < b.fileName();
    });
    qint64 bytes = 0;
    for (int i = 0; i < files.size(); ++i) {
        bytes += files[i].size();
        if (i >= bounds.files || bytes > bounds.bytes)
            removed += QFile::remove(files[i].filePath()) ? 1 : 0;
    }
    return removed;
}

QString ThumbnailCache::pathFor(const QUrl& clip) const
{
    // A digest of the whole address: any address gives a plain file name inside the directory.
    const QByteArray digest
        = QCryptographicHash::hash(clip.toString(QUrl::FullyEncoded).toUtf8(), QCryptographicHash::Sha256).toHex();
    return QDir(directory_).filePath(QString::fromLatin1(digest) + QStringLiteral(".jpg"));
}

QImage ThumbnailCache::cached(const QUrl& clip)
{
    if (const auto found = memory_.constFind(clip); found != memory_.constEnd())
        return *found;
    QImage image;
    const QString path = pathFor(clip);
    if (!image.load(path, "JPG"))
        return {};
    memory_.insert(clip, image);
    // Pruning goes by modification time, so reading a thumbnail renews it.
    if (QFile file(path); file.open(QIODevice::ReadOnly))
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    return image;
}

void ThumbnailCache::request(const QUrl& clip)
{
    if (!clip.isValid() || clip.isEmpty())
        return;
    if (const QImage image = cached(clip); !image.isNull()) {
        emit ready(clip, image);
        return;
    }
    if (failed_.contains(clip) || (busy_ && decoding_ == clip))
        return;
    // The latest request is the clip the user looks at now: it goes first.
    waiting_.removeAll(clip);
    waiting_.append(clip);
    startNext();
}

void ThumbnailCache::startNext()
{
    if (busy_ || waiting_.isEmpty())
        return;
    const QUrl clip = waiting_.takeLast();
    decoding_ = clip;
    busy_ = true;
    grabber_->grabFirstFrame(clip, this, [this, clip](platform::GrabbedFrame frame) { finished(clip, frame); });
}

void ThumbnailCache::finished(const QUrl& clip, const platform::GrabbedFrame& frame)
{
    busy_ = false;
    if (frame.image.isNull()) {
        failed_.insert(clip);
        platform::log::error(platform::LogCategory::HostApp,
            QStringLiteral("Thumbnail failed for %1: %2").arg(clip.toString(), frame.error));
    } else {
        QImage image = frame.image.width() > maxWidth ? frame.image.scaledToWidth(maxWidth, Qt::SmoothTransformation)
                                                      : frame.image;
        image = image.convertToFormat(QImage::Format_RGB32);
        memory_.insert(clip, image);
        // Written whole or not at all, so a crash never leaves a half picture that later opens read.
        QDir().mkpath(directory_);
        QSaveFile file(pathFor(clip));
        if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "JPG", 85) || !file.commit())
            platform::log::error(platform::LogCategory::HostApp,
                QStringLiteral("Thumbnail could not be stored at %1.").arg(file.fileName()));
        emit ready(clip, image);
    }
    startNext();
}

} // namespace quorvel::library
