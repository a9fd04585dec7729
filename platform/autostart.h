#pragma once
// Programs the desktop starts when the user logs in: freedesktop autostart entries.

#include <QString>
#include <QStringList>

#include <optional>

namespace quorvel::platform {

struct AutostartEntry {
    QString id; // the file name without ".desktop"
    QString name;
    QString comment;
    QString program; // absolute
    QStringList arguments;
    // false: kept on disk, but the desktop does not start it (the user switched it off).
    bool enabled = true;
};

// An entry as found on disk.
struct AutostartState {
    // The program its Exec line starts; none when that line is missing or cannot be read.
    std::optional<QString> program;
    bool enabled = true;
};

class Autostart {
public:
    virtual ~Autostart() = default;
    // The entry `id`, when there is one.
    virtual std::optional<AutostartState> read(const QString& id) const = 0;
    // Writes the entry whole, replacing one of the same id; none on success, else why not.
    virtual std::optional<QString> write(const AutostartEntry& entry) = 0;
};

// Entries in `configHome`/autostart (default $XDG_CONFIG_HOME, else ~/.config), each written to a
// temporary file and renamed into place.
class XdgAutostart final : public Autostart {
public:
    explicit XdgAutostart(QString configHome = {});
    std::optional<AutostartState> read(const QString& id) const override;
    std::optional<QString> write(const AutostartEntry& entry) override;

    QString entryPath(const QString& id) const;
    // The text of the entry file.
    static QByteArray entryText(const AutostartEntry& entry);
    // What an entry file's text says (its Exec program and whether it is switched on).
    static AutostartState parse(const QByteArray& text);

private:
    QString configHome_;
};

} // namespace quorvel::platform
