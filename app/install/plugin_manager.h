#pragma once
// The app's side of installing its screensaver: the embedded extension's registration with the
// plug-in registry (read, registered, registered again after an update) and whether the store names
// it as the active screensaver. Main thread only; publishes its state and never throws from the
// status operations.

#include "app/install/plugin_registration.h"

#include <QCoroTask>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

namespace quorvel::platform {
class OperatingSystem;
class Preferences;
class ProcessRunner;
class Screens;
} // namespace quorvel::platform

namespace quorvel::kit {
class Tessary;
struct KitEnvironment;
} // namespace quorvel::kit

namespace quorvel::app {

struct PluginManagerServices {
    std::shared_ptr<platform::ProcessRunner> runner;
    // The registry tool; none when it was not found (every query then fails with a launch error).
    std::optional<QString> toolPath;
    // The running bundle and the embedded extension's bundle facts; must outlive the manager.
    const platform::OperatingSystem& system;
    // The kit the facade is made over.
    std::shared_ptr<kit::KitEnvironment> kit;
};

// This system's services: the real child processes, the registry tool located from the running app
// (the kit's registry lookups use the same tool), and the kit over `home` (the user's home when empty).
PluginManagerServices systemPluginManagerServices(const platform::OperatingSystem& system,
    std::shared_ptr<platform::Preferences> preferences, std::shared_ptr<platform::Screens> screens, QString home = {});

class PluginManager final : public QObject {
    Q_OBJECT
public:
    static inline const QString bundleIdentifier = QStringLiteral("com.quorvel.Quorvel.Extension");
    static inline const QString screensaverDisplayName = QStringLiteral("QuorvelExtension");
    static inline const QStringList queryArguments { QStringLiteral("-m"), QStringLiteral("-A"), QStringLiteral("-D"),
        QStringLiteral("-v"), QStringLiteral("-p"), QStringLiteral("com.apple.screensaver") };

    // Starts reading the registry, checks the active screensaver, and schedules the post-update check.
    explicit PluginManager(PluginManagerServices services, QObject* parent = nullptr);
    ~PluginManager() override;

    bool isInstalled() const { return isInstalled_; }
    const std::optional<QString>& installedVersion() const { return installedVersion_; }
    const std::optional<QString>& installedPath() const { return installedPath_; }
    PluginElection installedElection() const { return installedElection_; }
    bool isLoading() const { return isLoading_; }
    const std::optional<QString>& lastError() const { return lastError_; }
    bool isActiveScreensaver() const { return isActiveScreensaver_; }
    bool isCheckingScreensaver() const { return isCheckingScreensaver_; }
    const std::optional<QString>& screensaverError() const { return screensaverError_; }
    // Registered but switched off by the user.
    bool isTurnedOff() const { return isInstalled_ && installedElection_ == PluginElection::ignored; }

    kit::Tessary& tessary() { return *tessary_; }

    // Re-reads the registry; returns at once, the query runs after the current event.
    void refresh();
    // Registers the embedded extension, then refreshes both states. Throws PluginError.
    QCoro::Task<> install();
    // The registry query behind refresh, for callers that await it.
    QCoro::Task<> refreshNow();
    // The post-update check that creation schedules.
    QCoro::Task<> reregisterIfUpdated();

    // Whether the store names the extension anywhere; cannot fail.
    void checkActiveScreensaver();
    // Makes the extension the screensaver everywhere; failures land in screensaverError. Does nothing
    // while a check or another enable is running.
    QCoro::Task<> enableScreensaver();

    // "<plug-ins directory>/QuorvelExtension.appex" of the running bundle (need not exist).
    std::optional<QString> embeddedExtensionPath() const;
    // Its CFBundleShortVersionString.
    std::optional<QString> embeddedExtensionVersion() const;

    // Runs the registry tool; throws PluginError when it cannot start, does not finish, or (with
    // failOnError) exits non-zero.
    QCoro::Task<QString> runPluginkit(QStringList arguments, bool failOnError);
    QCoro::Task<std::optional<Registration>> queryRegistration();

signals:
    // Any published property changed.
    void changed();

private:
    template <typename T> void publish(T& field, const T& value);
    void applyRegistration(const std::optional<Registration>& registration, const std::optional<QString>& error);

    PluginManagerServices services_;
    std::shared_ptr<kit::Tessary> tessary_;

    bool isInstalled_ = false;
    std::optional<QString> installedVersion_;
    std::optional<QString> installedPath_;
    PluginElection installedElection_ = PluginElection::active;
    bool isLoading_ = false;
    std::optional<QString> lastError_;
    bool isActiveScreensaver_ = false;
    bool isCheckingScreensaver_ = false;
    std::optional<QString> screensaverError_;

    // A failed enable's message survives the one check that the enable action runs after it.
    bool keepErrorThroughNextCheck_ = false;
    // Only the newest query may publish (an older, slower one would undo a newer state).
    quint64 querySerial_ = 0;
};

} // namespace quorvel::app
