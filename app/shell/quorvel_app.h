#pragma once
// The application object: the process-wide stores (each made on first use, then kept until the
// process ends), the windows by id, the updater started at launch and the application menu.

#include "app/client/service_config.h"
#include "app/shell/app_location_manager.h"
#include "app/shell/update_check_model.h"
#include "app/shell/window_directory.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QNetworkAccessManager;

namespace quorvel::platform {
class MachineIdentity;
class OperatingSystem;
class SecretStore;
class Updater;
} // namespace quorvel::platform

namespace quorvel::app {

class AuthStore;
class GenerationStore;

// What the app reaches the system through; everything must outlive the app object.
struct AppServices {
    QNetworkAccessManager& network; // the one shared session
    platform::SecretStore& secrets;
    const platform::MachineIdentity& identity;
    const platform::OperatingSystem& system;
    platform::Updater& updater;
    ServiceConfig service;
    // The running bundle ("" when not running from one) and how a move reaches the system.
    QString runningBundlePath;
    AppLocationManager::Environment location;
};

enum class MenuCommand { about, checkForUpdates, quit };

struct MenuItem {
    MenuCommand command;
    QString text;
    QString shortcut; // portable key sequence text, may be empty
};

class QuorvelApp final : public QObject {
    Q_OBJECT
public:
    // Starts the updater at once; no window opens here.
    explicit QuorvelApp(AppServices services, QObject* parent = nullptr);
    ~QuorvelApp() override;

    GenerationStore& generation();
    AuthStore& auth();
    AppLocationManager& appLocation();
    // Whether a store exists yet (each is made on first use).
    bool hasGeneration() const { return generation_ != nullptr; }
    bool hasAuth() const { return auth_ != nullptr; }
    bool hasAppLocation() const { return appLocation_ != nullptr; }

    platform::Updater& updaterController() { return services_.updater; }
    UpdateCheckModel& updates() { return *updates_; }
    WindowDirectory& windows() { return windows_; }
    const platform::OperatingSystem& system() const { return services_.system; }

    // The application menu in order: About, "Check for Updates…" right after it, Quit.
    static QList<MenuItem> applicationMenu();
    // "1.0.0 (1)" of the running build: short version and build, "1.0" and "0" when unknown.
    QString versionNumber() const;
    // "Quorvel 1.0.0 (1)".
    QString versionText() const { return QStringLiteral("Quorvel ") + versionNumber(); }

private:
    AppServices services_;
    std::unique_ptr<AuthStore> auth_;
    std::unique_ptr<GenerationStore> generation_;
    std::unique_ptr<AppLocationManager> appLocation_;
    std::unique_ptr<UpdateCheckModel> updates_;
    WindowDirectory windows_;
};

} // namespace quorvel::app
