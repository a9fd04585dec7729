#pragma once
// The desktop's own screensaver daemon. It runs the programs of its list inside a window it hands
// over (XSCREENSAVER_WINDOW), so our screensaver host plays there once it has an entry in that list.

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorvel::platform {

struct DaemonEntryResult {
    enum class Outcome { added, alreadyListed, failed };
    Outcome outcome = Outcome::failed;
    // Why it failed; empty otherwise.
    QString reason;
};

class ScreensaverDaemon {
public:
    virtual ~ScreensaverDaemon() = default;
    // The daemon's configuration file as the user would find it ("~/.xscreensaver").
    virtual QString configurationName() const = 0;
    // Puts the host into the daemon's program list, keeping every other entry and setting. An
    // entry that already runs the host is kept (switched on if it was switched off); nothing else
    // changes then. The file is replaced whole, never left half-written.
    virtual DaemonEntryResult addSaverEntry() = 0;
};

// The daemon whose settings are an X resource file with a "programs:" list.
class XResourceScreensaverDaemon final : public ScreensaverDaemon {
public:
    // `configurationPath` defaults to "$HOME/.xscreensaver", `saverPath` to the quorvel-saver tool.
    explicit XResourceScreensaverDaemon(QString configurationPath = {}, QString saverPath = {});
    QString configurationName() const override;
    DaemonEntryResult addSaverEntry() override;

private:
    QString configurationPath_;
    QString saverPath_;
};

namespace detail {
// The program line for the host at `saverPath` ("\"Quorvel\"  /path/quorvel-saver"); none when the
// path cannot be written into the list safely (control characters or backslashes).
std::optional<QByteArray> saverProgramEntry(const QString& saverPath);
// `document` with `entry` first in its program list (a list is appended when there is none), or
// unchanged when a line of the list already names `saverPath`; a switched-off line naming it is
// switched on.
QByteArray withSaverEntry(const QByteArray& document, const QByteArray& entry, const QByteArray& saverPath);
} // namespace detail

} // namespace quorvel::platform
