#include "extension/clip_store.h"

#include "platform/thread_priority.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include <QStorageInfo>

#include <type_traits>

namespace quorvel::extension {

struct ClipStore::Partial {
    QString path;
    qint64 minFreeBytes = 0;
    QFile file;
    QString error;
    qint64 sinceFreeCheck = 0;
};

namespace {

// How much may be written between two looks at the free space.
constexpr qint64 kFreeCheckBytes = qint64(16) << 20;

QString freeSpaceError(qint64 freeBytes)
{
    return QStringLiteral("only %1 MB free on the cache's disk").arg(freeBytes >> 20);
}

void removeEntriesBut(const QString& directory, const QSet<QString>& keep)
{
    QDir dir(directory);
    if (!dir.exists())
        return;
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (keep.contains(entry))
            continue;
        const QFileInfo info(dir.filePath(entry));
        if (info.isDir() && !info.isSymLink())
            QDir(info.filePath()).removeRecursively();
        else
            dir.remove(entry);
    }
}

qint64 filesBytes(const QString& directory)
{
    qint64 total = 0;
    const QFileInfoList files = QDir(directory).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& file : files)
        total += file.size();
    return total;
}

} // namespace

FreeSpaceQuery systemFreeSpace()
{
    return [](const QString& directory) -> std::optional<qint64> {
        const QStorageInfo storage(directory);
        if (!storage.isValid() || !storage.isReady())
            return std::nullopt;
        return storage.bytesAvailable();
    };
}

ClipStore::ClipStore(QString directory, FreeSpaceQuery freeSpace)
    : directory_(std::move(directory))
    , freeSpace_(freeSpace ? std::move(freeSpace) : systemFreeSpace())
{
    pool_.setMaxThreadCount(1);
}

ClipStore::~ClipStore()
{
    pool_.waitForDone();
}

template <typename Work> auto ClipStore::run(Work work) const
{
    using Result = std::invoke_result_t<Work>;
    auto promise = std::make_shared<QPromise<Result>>();
    QFuture<Result> future = promise->future();
    promise->start();
    pool_.start([promise, work = std::move(work)]() mutable {
        platform::lowerCurrentThreadPriority();
        if constexpr (std::is_void_v<Result>)
            work();
        else
            promise->addResult(work());
        promise->finish();
    });
    return future;
}

QFuture<ClipStore::Usage> ClipStore::makeRoom(
    qint64 needed, std::optional<QSet<QString>> keep, qint64 maxCacheBytes, qint64 minFreeBytes) const
{
    return run(
        [directory = directory_, freeSpace = freeSpace_, needed, keep = std::move(keep), maxCacheBytes, minFreeBytes] {
            auto measure = [&] { return Usage { filesBytes(directory), freeSpace(directory) }; };
            Usage usage = measure();
            const bool short_ = usage.cacheBytes + needed > maxCacheBytes
                || (usage.freeBytes && *usage.freeBytes - needed < minFreeBytes);
            if (short_ && keep) {
                removeEntriesBut(directory, *keep);
                usage = measure();
            }
            return usage;
        });
}

std::shared_ptr<ClipStore::Partial> ClipStore::newPartial(const QString& name, qint64 minFreeBytes) const
{
    auto partial = std::make_shared<Partial>();
    partial->path = QDir(directory_).filePath(name);
    partial->minFreeBytes = minFreeBytes;
    return partial;
}

QFuture<QString> ClipStore::open(std::shared_ptr<Partial> partial) const
{
    return run([directory = directory_, partial] {
        QDir().mkpath(directory);
        partial->file.setFileName(partial->path);
        if (!partial->file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            partial->error = partial->file.errorString();
        return partial->error;
    });
}

QFuture<QString> ClipStore::append(std::shared_ptr<Partial> partial, QByteArray chunk) const
{
    return run([directory = directory_, freeSpace = freeSpace_, partial, chunk = std::move(chunk)] {
        if (!partial->error.isEmpty() || !partial->file.isOpen())
            return partial->error;
        partial->sinceFreeCheck += chunk.size();
        if (partial->sinceFreeCheck >= kFreeCheckBytes) {
            partial->sinceFreeCheck = 0;
            const std::optional<qint64> free = freeSpace(directory);
            if (free && *free - chunk.size() < partial->minFreeBytes)
                return partial->error = freeSpaceError(*free);
        }
        if (partial->file.write(chunk) != chunk.size())
            partial->error = partial->file.errorString();
        return partial->error;
    });
}

QFuture<QString> ClipStore::commit(std::shared_ptr<Partial> partial, QString destinationName) const
{
    return run([directory = directory_, partial, destinationName] {
        if (!partial->error.isEmpty())
            return partial->error;
        if (!partial->file.flush()) {
            partial->error = partial->file.errorString();
            return partial->error;
        }
        partial->file.close();
        const QString destination = QDir(directory).filePath(destinationName);
        QFile::remove(destination);
        if (!partial->file.rename(destination))
            partial->error = partial->file.errorString();
        return partial->error;
    });
}

QFuture<void> ClipStore::discard(std::shared_ptr<Partial> partial) const
{
    return run([partial] {
        partial->file.close();
        QFile::remove(partial->path);
    });
}

QFuture<void> ClipStore::removeAllBut(QSet<QString> keep) const
{
    return run([directory = directory_, keep = std::move(keep)] { removeEntriesBut(directory, keep); });
}

} // namespace quorvel::extension
