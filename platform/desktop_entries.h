#pragma once
// The desktop's launcher: a freedesktop desktop entry and an icon in the user's icon theme folder.

#include <QString>

#include <optional>

namespace quorvel::platform {

struct DesktopEntry {
    QString id; // "com.quorvel.Quorvel": the file name and the icon name
    QString name; // shown in the launcher
    QString comment;
    QString executablePath; // absolute; started without arguments
    QString iconPath; // a square PNG to install as the entry's icon; may be empty
    int iconSize = 256; // its size in pixels, which names the theme folder
};

class DesktopEntries {
public:
    virtual ~DesktopEntries() = default;
    // Writes (or rewrites) the entry and its icon; none on success, else why not.
    virtual std::optional<QString> install(const DesktopEntry& entry) = 0;
};

// Under `dataHome` (default $XDG_DATA_HOME, else ~/.local/share): applications/<id>.desktop and
// icons/hicolor/<size>x<size>/apps/<id>.png, each written whole and renamed into place.
class XdgDesktopEntries final : public DesktopEntries {
public:
    explicit XdgDesktopEntries(QString dataHome = {});
    std::optional<QString> install(const DesktopEntry& entry) override;

    // The text of the entry file.
    static QByteArray entryText(const DesktopEntry& entry);

private:
    QString dataHome_;
};

} // namespace quorvel::platform
