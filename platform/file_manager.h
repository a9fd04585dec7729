#pragma once
// Whole-item file operations on bundles (folders with executables and links inside), the way the
// application installs a copy of itself.

#include <QString>
#include <QStringList>

#include <optional>

namespace quorvel::platform {

class FileManager {
public:
    virtual ~FileManager() = default;
    // True for anything at `path`, a dangling link included.
    virtual bool exists(const QString& path) const = 0;
    // Creates the folder and its parents; none on success, else why not.
    virtual std::optional<QString> makeFolder(const QString& path) = 0;
    // Copies a file or a whole folder (links stay links, permissions are kept) to `destination`,
    // which must not exist yet. None on success, else the reason.
    virtual std::optional<QString> copyItem(const QString& source, const QString& destination) = 0;
    // Puts `replacement` in the place of `destination` in one step; afterwards the item that was at
    // `destination` (if any) is at `replacement`'s path, for the caller to remove: the new item is in
    // place whatever becomes of the old one. On failure both stay as they were.
    virtual std::optional<QString> replaceItem(const QString& destination, const QString& replacement) = 0;
    // Removes a file or a whole folder; none on success.
    virtual std::optional<QString> removeItem(const QString& path) = 0;
    // Names of the items directly inside `folder`, hidden ones included; none when it cannot be read.
    virtual QStringList itemNames(const QString& folder) const = 0;
};

class LocalFileManager final : public FileManager {
public:
    bool exists(const QString& path) const override;
    std::optional<QString> makeFolder(const QString& path) override;
    std::optional<QString> copyItem(const QString& source, const QString& destination) override;
    std::optional<QString> replaceItem(const QString& destination, const QString& replacement) override;
    std::optional<QString> removeItem(const QString& path) override;
    QStringList itemNames(const QString& folder) const override;
};

} // namespace quorvel::platform
