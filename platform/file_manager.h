#pragma once
// Whole-item file operations on bundles (folders with executables and links inside), the way the
// application installs a copy of itself.

#include <QString>

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
    // Puts `replacement` in the place of `destination` in one step and removes what was there;
    // afterwards `replacement` no longer exists. On failure both stay as they were.
    virtual std::optional<QString> replaceItem(const QString& destination, const QString& replacement) = 0;
    // Removes a file or a whole folder; none on success.
    virtual std::optional<QString> removeItem(const QString& path) = 0;
};

class LocalFileManager final : public FileManager {
public:
    bool exists(const QString& path) const override;
    std::optional<QString> makeFolder(const QString& path) override;
    std::optional<QString> copyItem(const QString& source, const QString& destination) override;
    std::optional<QString> replaceItem(const QString& destination, const QString& replacement) override;
    std::optional<QString> removeItem(const QString& path) override;
};

} // namespace quorvel::platform
