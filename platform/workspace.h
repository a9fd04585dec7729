#pragma once
// Opening URLs and applications, and the list of running applications.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace quorvel::platform {

struct RunningApplication {
    QString bundleIdentifier;
    QString bundlePath;
    qint64 pid = 0;
};

// Keeps this process declared as a running application until destroyed.
class RunningDeclaration {
public:
    virtual ~RunningDeclaration() = default;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // "x-apple.systempreferences:com.apple.Wallpaper-Settings.extension" opens `quorvel-saver --settings`,
    // "/System/Library/CoreServices/ScreenSaverEngine.app" starts `quorvel-saver` full-screen,
    // anything else goes to the desktop's URL handler.
    virtual bool openURL(const QUrl& url) = 0;
    // Starts the application bundle at `bundlePath` (its Contents/MacOS executable).
    virtual bool openApplication(const QString& bundlePath, const QStringList& arguments = {}) = 0;
    virtual QList<RunningApplication> runningApplications() const = 0;
    // Sends SIGTERM; false when there is no such process.
    virtual bool terminate(qint64 pid) = 0;
    virtual bool isTerminated(qint64 pid) const = 0;
    // Declares this process under `bundleIdentifier` (a runtime file under $XDG_RUNTIME_DIR).
    virtual std::unique_ptr<RunningDeclaration> declareRunning(
        const QString& bundleIdentifier, const QString& bundlePath)
        = 0;
};

// Whether a process declared under `bundleIdentifier` runs now.
inline bool isRunning(const Workspace& workspace, const QString& bundleIdentifier)
{
    const QList<RunningApplication> running = workspace.runningApplications();
    return std::any_of(running.cbegin(), running.cend(),
        [&](const RunningApplication& application) { return application.bundleIdentifier == bundleIdentifier; });
}

class DesktopWorkspace final : public Workspace {
public:
    // `saverPath`: the quorvel-saver executable; `runtimeDirectory` defaults to $XDG_RUNTIME_DIR/quorvel.
    explicit DesktopWorkspace(QString saverPath = {}, QString runtimeDirectory = {});
    bool openURL(const QUrl& url) override;
    bool openApplication(const QString& bundlePath, const QStringList& arguments) override;
    QList<RunningApplication> runningApplications() const override;
    bool terminate(qint64 pid) override;
    bool isTerminated(qint64 pid) const override;
    std::unique_ptr<RunningDeclaration> declareRunning(
        const QString& bundleIdentifier, const QString& bundlePath) override;

private:
    QString saverPath_;
    QString runtimeDirectory_;
};

} // namespace quorvel::platform
