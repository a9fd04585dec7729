#include "platform/linux/preference_file_suite.h"

#include "platform/file_lock.h"
#include "platform/plist_reader.h"
#include "platform/plist_writer.h"
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

// The value as the file gives it back; none when a property list cannot hold it.
std::optional<QVariant> asStored(const QString& key, const QVariant& value)
{
    const PlistWriteResult written = writeXmlPlist(QVariantMap { { key, value } });
    if (!written.bytes)
        return std::nullopt;
    const PlistReadResult read = readPlist(*written.bytes);
    if (!read.value)
        return std::nullopt;
    return read.value->toMap().value(key);
}
} // namespace

PreferenceFileSuite::PreferenceFileSuite(QString path)
    : path_(std::move(path))
{
    QMutexLocker lock(&mutex_);
    bool legacy = false;
    readFile(&legacy);
    if (legacy)
        flush();
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
    const std::optional<QVariant> stored = asStored(key, value);
    if (!stored) {
        qWarning("Preference \"%s\" not stored: a property list cannot hold it.", qPrintable(key));
        QMutexLocker lock(&mutex_);
        refusedValue_ = true;
        return;
    }
    QMutexLocker lock(&mutex_);
    pendingRemovals_.remove(key);
    pendingSets_.insert(key, *stored);
    values_.insert(key, *stored);
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

QVariantMap PreferenceFileSuite::readFile(bool* legacy) const
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    // A damaged file reads as empty rather than failing every later read; the next write replaces it.
    if (isLegacyPreferenceFile(bytes)) {
        if (legacy)
            *legacy = true;
        // Carried over as the new file will hold them; a value it cannot hold (text with a NUL) is
        // dropped rather than blocking every later write.
        QVariantMap values;
        const QVariantMap old = decodeLegacyPreferenceFile(bytes).value_or(QVariantMap());
        for (auto it = old.cbegin(); it != old.cend(); ++it)
            if (const std::optional<QVariant> stored = asStored(it.key(), it.value()))
                values.insert(it.key(), *stored);
        return values;
    }
    const PlistReadResult read = readPlist(bytes);
    return read.value && read.value->typeId() == QMetaType::QVariantMap ? read.value->toMap() : QVariantMap();
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

    const PlistWriteResult bytes = writeXmlPlist(merged);
    if (!bytes.bytes)
        return false;
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes.bytes) != bytes.bytes->size() || !file.commit())
        return false;

    pendingSets_.clear();
    pendingRemovals_.clear();
    values_ = std::move(merged);
    loaded_ = stamp();
    return true;
}

} // namespace quorvel::platform::detail
