#pragma once
// One preference suite kept in one file, an XML property list, shared by every process that opens
// the same path.

#include "platform/preferences.h"

#include <QMutex>
#include <QSet>
#include <QVariantMap>

#include <optional>

namespace quorvel::platform::detail {

// Every change is written through at once (under a lock file, merged with what other processes
// wrote meanwhile); a change that could not be written stays pending until a later write or
// synchronize succeeds. Reads notice other processes' writes when the file changes. A value reads
// back as the property list keeps it (integers as qint64, dates to the second). Setting an invalid
// QVariant removes the key; a value a property list cannot hold is refused, and the next
// synchronize reports it. A file in the earlier format of our own is read and rewritten at once.
class PreferenceFileSuite final : public PreferenceSuite {
public:
    explicit PreferenceFileSuite(QString path);
    ~PreferenceFileSuite() override;

    QVariant value(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    bool synchronize() override;

    const QString& path() const { return path_; }

private:
    // Every write renames a new file into place, so the inode changes even within one clock tick.
    struct FileStamp {
        qint64 inode = -1;
        qint64 modifiedNs = 0;
        qint64 size = -1;
        bool operator==(const FileStamp&) const = default;
    };
    FileStamp stamp() const;
    // Caller holds mutex_.
    void reloadIfChanged() const;
    // The file's values; `legacy` tells whether it was in the earlier format.
    QVariantMap readFile(bool* legacy = nullptr) const;
    bool flush();

    QString path_;
    mutable QMutex mutex_;
    mutable QVariantMap values_;
    mutable FileStamp loaded_;
    QVariantMap pendingSets_;
    QSet<QString> pendingRemovals_;
    bool refusedValue_ = false;
};

} // namespace quorvel::platform::detail
