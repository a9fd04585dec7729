#pragma once
// The cache directory's file work on a worker thread of its own, so the event loop that paints the
// video never waits on the disk. Work runs one piece at a time in the order it was asked for; each
// call returns at once with a future that the caller awaits on its own thread.

#include <QFuture>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>

namespace quorvel::extension {

// Free bytes on the file system that holds a directory; none when that cannot be told.
using FreeSpaceQuery = std::function<std::optional<qint64>(const QString& directory)>;
// QStorageInfo's answer.
FreeSpaceQuery systemFreeSpace();

class ClipStore {
public:
    struct Usage {
        // Bytes of every file in the directory.
        qint64 cacheBytes = 0;
        std::optional<qint64> freeBytes;
    };
    // A hidden file beside the clips that one download streams into; only the worker touches it.
    struct Partial;

    // `freeSpace` is called on the worker thread.
    ClipStore(QString directory, FreeSpaceQuery freeSpace);
    // Waits for the work already asked for.
    ~ClipStore();
    ClipStore(const ClipStore&) = delete;
    ClipStore& operator=(const ClipStore&) = delete;

    // The directory's usage. With `keep`, when `needed` more bytes would take the directory past
    // `maxCacheBytes` or the file system below `minFreeBytes`, every file whose name is not in `keep`
    // goes first, and the usage is measured again.
    QFuture<Usage> makeRoom(
        qint64 needed, std::optional<QSet<QString>> keep, qint64 maxCacheBytes, qint64 minFreeBytes) const;

    // A new partial file named `name` in the directory. Writes stop with an error once the file system
    // would keep less than `minFreeBytes`.
    std::shared_ptr<Partial> newPartial(const QString& name, qint64 minFreeBytes) const;
    // Each returns the partial's first error so far, empty while there is none.
    QFuture<QString> open(std::shared_ptr<Partial> partial) const;
    QFuture<QString> append(std::shared_ptr<Partial> partial, QByteArray chunk) const;
    // Replaces `destinationName` with the partial's complete bytes.
    QFuture<QString> commit(std::shared_ptr<Partial> partial, QString destinationName) const;
    // Closes and removes the partial; nothing of it stays behind.
    QFuture<void> discard(std::shared_ptr<Partial> partial) const;

    // Removes every entry of the directory whose name is not in `keep`.
    QFuture<void> removeAllBut(QSet<QString> keep) const;

private:
    template <typename Work> auto run(Work work) const;

    QString directory_;
    FreeSpaceQuery freeSpace_;
    // One thread, in the background's share of the processor: the order of the work is the order
    // it was asked for.
    mutable QThreadPool pool_;
};

} // namespace quorvel::extension
