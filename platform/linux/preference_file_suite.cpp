#include "platform/linux/preference_file_suite.h"

#include "platform/file_lock.h"
#include "platform/preference_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

#include <utility>

namespace quorvel::platform::detail {

namespace {
constexpr std::chrono::milliseconds kLockWait { 5000 };
} // namespace

PreferenceFileSuite::PreferenceFileSuite(QString path)
    : path_(std::move(path))
{
    QMutexLocker lock(&mutex_);
    reloadIfChanged();
}

PreferenceFileSuite::~PreferenceFileSuite()
{
    QMutexLocker lock(&mutex_);
    if (!pendingSets_.isEmpty() || !pendingRemovals_.isEmpty())
        flush();
}

QVariant PreferenceFileSuite::value(const QString& key) const
{
    QMutexLocker lock(&mutex_);
    reloadIfChanged();
    return values_.value(key);
}

void PreferenceFileSuite::setValue(const QString& key, const QVariant& value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    // One value that cannot be written would make every later write of the whole file fail.
    if (!encodePreferenceFile({ { key, value } })) {
        qWarning("Preference \"%s\" not stored: its type cannot be saved.", qPrintable(key));
        QMutexLocker lock(&mutex_);
        refusedValue_ = true;
        return;
    }
    QMutexLocker lock(&mutex_);
    pendingRemovals_.remove(key);
    pendingSets_.insert(key, value);
    values_.insert(key, value);
    flush();
}

void PreferenceFileSuite::remove(const QString& key)
{
    QMutexLocker lock(&mutex_);
    pendingSets_.remove(key);
    pendingRemovals_.insert(key);
    values_.remove(key);
    flush();
}

bool PreferenceFileSuite::synchronize()
{
    QMutexLocker lock(&mutex_);
    const bool refused = std::exchange(refusedValue_, false);
    if (!pendingSets_.isEmpty() || !pendingRemovals_.isEmpty())
        return flush() && !refused;
    if (refused)
        return false;
    loaded_ = {};
    reloadIfChanged();
    // Nothing to write, but the caller also asks whether the store could take a write.
    const QFileInfo info(path_);
    return info.exists() ? info.isWritable() : QFileInfo(info.absolutePath()).isWritable();
}

PreferenceFileSuite::FileStamp PreferenceFileSuite::stamp() const
{
    struct stat info { };
    if (::stat(QFile::encodeName(path_).constData(), &info) != 0)
        return {};
    return { static_cast<qint64>(info.st_ino), info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec,
        static_cast<qint64>(info.st_size) };
}

void PreferenceFileSuite::reloadIfChanged() const
{
    const FileStamp now = stamp();
    if (now == loaded_ && now.size >= 0)
        return;
    QVariantMap merged = readFile();
    for (auto it = pendingSets_.cbegin(); it != pendingSets_.cend(); ++it)
        merged.insert(it.key(), it.value());
    for (const auto& key : pendingRemovals_)
        merged.remove(key);
    values_ = std::move(merged);
    loaded_ = now;
}

QVariantMap PreferenceFileSuite::readFile() const
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A damaged file reads as empty rather than failing every later read; the next write replaces it.
    return decodePreferenceFile(file.readAll()).value_or(QVariantMap());
}

bool PreferenceFileSuite::flush()
{
    if (!QDir().mkpath(QFileInfo(path_).absolutePath()))
        return false;
    // Serialises the read-merge-write with other processes, so no one's keys are lost. Every holder
    // of this file takes this one kind of lock: two kinds never exclude each other reliably.
    FileLock lock(path_ + QStringLiteral(".lock"));
    if (lock.lock(kLockWait) != FileLock::Result::acquired)
        return false;

    QVariantMap merged = readFile();
    for (auto it = pendingSets_.cbegin(); it != pendingSets_.cend(); ++it)
        merged.insert(it.key(), it.value());
    for (const auto& key : pendingRemovals_)
        merged.remove(key);

    const auto bytes = encodePreferenceFile(merged);
    if (!bytes)
        return false;
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        return false;

    pendingSets_.clear();
    pendingRemovals_.clear();
    values_ = std::move(merged);
    loaded_ = stamp();
    return true;
}

} // namespace quorvel::platform::detail
