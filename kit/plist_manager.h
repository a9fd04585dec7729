#pragma once
// The kit's only reader and writer of property-list files. Stateless; one instance is shared.
// Every write is whole-file and atomic (temporary file in the same folder, then rename), and
// first refreshes "<path>.backup" with the bytes the file had just before, so a rollback always
// returns to the state before the latest write. Temporary files are named "<file>.quorvel-tmp-…"
// beside their target; callers that edit the store hold its StoreLock around read and write.

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <optional>

namespace quorvel::kit {

class PlistManager {
public:
    virtual ~PlistManager() = default;

    // Throws fileNotFound (absolute path) when missing, plistReadError (path) when the bytes are not a
    // property list whose top level is a dictionary.
    virtual QVariantMap read(const QString& path) const;
    // The dictionary when the file reads as one; absent for any failure of read().
    std::optional<QVariantMap> tryRead(const QString& path) const;
    // A read together with exactly the bytes that were parsed.
    struct Snapshot {
        QVariantMap dictionary;
        QByteArray bytes;
    };
    Snapshot readSnapshot(const QString& path) const;
    // Throws plistWriteError "<path>: <reason>" when the backup cannot be refreshed, when the file no
    // longer holds exactly `expectedBytes` (it was replaced since it was read), or when the dictionary
    // cannot be serialised or written; PlatformError when the folder cannot be created. The old file
    // is intact after any failure.
    virtual void write(
        const QVariantMap& dictionary, const QString& path, std::optional<QByteArray> expectedBytes = {}) const;
    // Copies the file to its backup path atomically and returns that path; fileNotFound when missing.
    QString backup(const QString& path) const;
    // Replaces the target with the backup's bytes atomically (the backup stays); fileNotFound for a
    // missing backup, PlatformError when the copy fails (the target is then unchanged).
    void restore(const QString& backupPath, const QString& targetPath) const;
    // SHA-256 of the file's bytes as 64 lower-case hex digits; fileNotFound when missing.
    QString calculateChecksum(const QString& path) const;
    // Throws as calculateChecksum() does for a file it could not hash, without reading it.
    void checkReadable(const QString& path) const;
    std::optional<QString> tryChecksum(const QString& path) const;
    // Throws plistWriteError "binary data" when the dictionary holds a non-property-list value.
    QByteArray createBinaryPlist(const QVariantMap& dictionary) const;

    static QString backupPath(const QString& path) { return path + QStringLiteral(".backup"); }
    static QString absolutePath(const QString& path);
    // Removes the temporary files that writers of `path` and of its backup left when they were
    // killed. Only safe while holding the store's lock, which every live writer holds.
    static void removeStaleTemporaries(const QString& path);
};

// Writes `bytes` to `path` through a temporary file in the same folder and a rename;
// returns an error text, empty on success.
QString writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace quorvel::kit
