#pragma once
// The main window's content without its widgets: which screen shows (the move card, onboarding or
// the main screen), the screensaver's installation status and the actions that change it, the
// latest generation with its progress, the credit situation and the developer's debug console.
// Owns the PluginManager; every change happens on the main thread.

#include "app/install/idle_agent.h"
#include "app/install/plugin_manager.h"
#include "platform/session_screensavers.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace quorvel::platform {
class Autostart;
class IdleMonitor;
class PreferenceSuite;
class ProcessRunner;
class ScreensaverDaemon;
class Workspace;
} // namespace quorvel::platform

namespace quorvel::app {

class AppLocationManager;
class AuthStore;
class GenerationStore;
class UserDefaults;

namespace contentTexts {
inline const QString ready = QStringLiteral("Ready");
inline const QString logoName = QStringLiteral("logo.png");
inline const QString welcomeTitle = QStringLiteral("Welcome to the good kind of wumble.");
inline const QString welcomeText
    = QStringLiteral("Your first generation is free. Make something weird and leave it running.");
inline const QString enableAsScreensaver = QStringLiteral("Enable as Screensaver");
inline const QString oneClick = QStringLiteral("One click - no System Settings maze.");
inline const QString allSet = QStringLiteral("You're all set - Quorvel is your screensaver.");
inline const QString makeFirstWumble = QStringLiteral("Make your first wumble - it's free");
inline const QString productName = QStringLiteral("Quorvel");
inline const QString tagline = QStringLiteral("Community-made AI wumble as your screensaver");
inline const QString reconnectTitle = QStringLiteral("Quorvel needs to reconnect");
inline const QString retry = QStringLiteral("Retry");
inline const QString createWumble = QStringLiteral("Create Wumble");
inline const QString createTooltip = QStringLiteral("Create a wumble");
inline const QString alreadyGeneratingTooltip = QStringLiteral("A wumble is already generating");
inline const QString yourWumbles = QStringLiteral("Your Wumbles");
inline const QString startScreenSaver = QStringLiteral("Start Screen Saver");
inline const QString generatingHeading = QStringLiteral("Generating a wumble");
inline const QString latestHeading = QStringLiteral("Latest wumble");
inline const QString generationProgress = QStringLiteral("Generation progress");
inline const QString wumbleReady = QStringLiteral("Wumble ready");
inline const QString preview = QStringLiteral("Preview");
inline const QString debugConsole = QStringLiteral("Debug console");
inline const QString waitingForOutput = QStringLiteral("Waiting for generation output…");
inline const QString plansTitle = QStringLiteral("Put your wumbles on everyone's screensaver");
inline const QString plansUnknown = QStringLiteral("8 wumble credits a month · plans from $1.99/mo");
inline const QString plansFreeLeft = QStringLiteral("One free wumble, on us for downloading · plans from $1.99/mo");
inline const QString plansOut = QStringLiteral("Fresh out of wumble credits · 8 a month, from $1.99/mo");
inline const QString debugCredits = QStringLiteral("Debug · Unlimited wumble credits");
inline const QString notInstalled = QStringLiteral("Screensaver not installed");
inline const QString turnedOff = QStringLiteral("Installed - turned off in System Settings");
inline const QString active = QStringLiteral("Screensaver active");
inline const QString notActive = QStringLiteral("Installed — not your active screensaver");
inline const QString install = QStringLiteral("Install");
inline const QString turnOn = QStringLiteral("Turn On");
inline const QString settingsTooltip = QStringLiteral("Open Screen Saver Settings");
inline const QString installing = QStringLiteral("Installing extension...");
inline const QString installed = QStringLiteral("Extension installed successfully");
inline const QString installFailed = QStringLiteral("Install failed: ");
// The tool said yes but its own listing does not show the extension.
inline const QString notListed = QStringLiteral("the plug-in registry does not list the extension");
// How the screensaver starts by itself on this desktop (%1: "5 minutes", "1 minute", "30 seconds").
inline const QString startsAfter = QStringLiteral("The screensaver starts after %1 without input.");
inline const QString startsNever = QStringLiteral("The screensaver is set to never start by itself.");
// %1: the daemon's program name.
inline const QString startsByDaemon = QStringLiteral("On this desktop, %1 starts the screensaver.");
inline const QString idleUnknown = QStringLiteral(
    "This desktop can't say when it's idle, so the screensaver won't start by itself - use Start Screen Saver.");
// The desktop's own screensaver daemons.
inline const QString xscreensaverHelp = QStringLiteral(
    "On this desktop, xscreensaver runs Quorvel in its own window. Add Quorvel to its list, then choose it in "
    "xscreensaver's settings.");
inline const QString addToDaemon = QStringLiteral("Add to Desktop Screensaver");
inline const QString mateHelp = QStringLiteral(
    "On this desktop, mate-screensaver runs the screensaver. Choose Quorvel in its Screensaver Preferences.");
inline const QString mateNeedsPackage = QStringLiteral(
    "On this desktop, mate-screensaver runs only the screensavers installed as its themes. The Quorvel package "
    "provides Quorvel's theme; once it is installed, choose Quorvel in the Screensaver Preferences.");
inline const QString xsecurelockHelp = QStringLiteral(
    "On this desktop, xss-lock starts the screen locker. For xsecurelock to play Quorvel, put this line in the "
    "locker's environment:");
} // namespace contentTexts

inline const QString settingsPaneUrl
    = QStringLiteral("x-apple.systempreferences:com.apple.Wallpaper-Settings.extension");
inline const QString screenSaverEnginePath = QStringLiteral("/System/Library/CoreServices/ScreenSaverEngine.app");

// How the screensaver comes on screen by itself here; each must outlive the view.
struct StartServices {
    const platform::IdleMonitor& idle;
    const platform::SessionScreensavers& daemons;
    // The package's screensaver theme (for mate-screensaver) is installed; none counts as no.
    std::function<bool()> themeInstalled;
    platform::Autostart& autostart;
    // Starts the idle agent.
    platform::ProcessRunner& runner;
    // This copy's screensaver host.
    QString saverPath;
};

// Everything the content reaches; each must outlive the view.
struct ContentServices {
    AuthStore& auth;
    GenerationStore& generation;
    AppLocationManager& appLocation;
    UserDefaults& defaults; // the standard suite, shared by every window
    platform::Workspace& workspace;
    platform::ScreensaverDaemon& daemon;
    // What the PluginManager made with the view is made over.
    PluginManagerServices plugins;
    // The developer-access question (its answer is not used here).
    std::function<QCoro::Task<bool>()> debugAccess;
    // Opens (or brings forward) the window with this id.
    std::function<void(const QString& id)> openWindow;
    // Ends with "/".
    QString cdnBaseUrl;
    StartServices start;
};

class ContentView final : public QObject {
    Q_OBJECT
public:
    static inline const QString hasOnboardedKey = QStringLiteral("hasOnboarded");

    enum class Screen { moveCard, onboarding, main };
    enum class Dot { grey, orange, green };
    enum class StatusAction { install, turnOn, enable, none };
    // The integration offered for the daemon that runs this desktop's screensaver.
    enum class DaemonCard { none, xscreensaver, mateScreensaver, xsecurelock };

    // Creates the PluginManager, which starts reading the registration and the store.
    explicit ContentView(ContentServices services, QObject* parent = nullptr);
    ~ContentView() override;

    PluginManager& pluginManager() { return *pluginManager_; }
    const PluginManager& pluginManager() const { return *pluginManager_; }

    Screen screen() const;
    QString logoUrl() const { return services_.cdnBaseUrl + contentTexts::logoName; }

    // Onboarding.
    bool showsAllSet() const;
    bool enableEnabled() const;
    // The error text under "Enable as Screensaver", else "One click - no System Settings maze.".
    QString onboardingCaption() const;

    // Main screen.
    std::optional<QString> enrollmentError() const;
    bool retryEnabled() const;
    bool createEnabled() const;
    QString createTooltip() const;
    bool showsLatest() const;
    QString latestHeading() const;
    bool isGenerating() const;
    QString stage() const;
    bool showsClipReady() const;
    // The generation's error, only when it is not running.
    std::optional<QString> generationError() const;
    bool showsDebugConsole() const { return debugMode(); }
    bool debugLogExpanded() const { return debugLogExpanded_; }
    void setDebugLogExpanded(bool expanded);
    // The generation log, or "Waiting for generation output…" while it is empty.
    QString debugLogText() const;
    bool showsPlans() const { return !paid_; }
    QString plansSubtitle() const;
    QString statusText() const;
    Dot statusDot() const;
    // Nothing when the credits are unknown (and not in debug mode).
    std::optional<QString> creditCaption() const;
    bool showsLoading() const;
    StatusAction statusAction() const;
    QString statusActionText() const;
    bool statusActionEnabled() const;
    // The manager's lastError (unless the status message already carries it), else its screensaverError,
    // else why the idle agent did not start.
    std::optional<QString> errorText() const;
    QString statusMessage() const { return statusMessage_; }
    bool showsStatusMessage() const { return statusMessage_ != contentTexts::ready; }
    // The one line under the status row on how the screensaver starts here; none unless active.
    std::optional<QString> startLine() const;
    // The same line on onboarding's all-set screen, where "all set" alone would promise too much.
    std::optional<QString> onboardingStartLine() const;
    DaemonCard daemonCard() const;
    QString daemonCardText() const;
    // "XSECURELOCK_SAVER=<host>", quoted for a shell where the path needs it.
    QString xsecurelockLine() const;
    std::optional<QString> daemonMessage() const { return daemonMessage_; }
    QString daemonConfigurationName() const;

    std::optional<qint64> credits() const { return credits_; }
    bool paid() const { return paid_; }
    bool hasOnboarded() const;
    bool debugMode() const;
    // An enable action (with its install) is running.
    bool isEnabling() const { return enabling_; }

    // The main screen appeared: reads the balance and asks for debug access. The task may be dropped.
    void mainScreenAppeared();
    QCoro::Task<> refreshBalance();
    // "Retry" of the reconnect banner.
    void retry();
    // "Install".
    QCoro::Task<> install();
    // "Enable as Screensaver" (onboarding and status row); does nothing while one runs.
    QCoro::Task<> enable();
    // The status row's button, whichever it is.
    void activateStatusAction();
    void openSettings();
    void startScreenSaver();
    void openCreate();
    void openLibrary();
    void openUpgrade();
    void openPreview();
    // "Make your first wumble - it's free".
    void finishOnboarding();
    // The desktop daemon's entry for our screensaver host.
    void addToDesktopDaemon();
    // The main window became the active window: the desktop's facts are read again, and after the
    // settings pane was opened, the registration and the store too.
    void windowActivated();

signals:
    // Any field, setting, store or derived value may have changed.
    void changed();
    // The screen to show changed (the main screen's start-up work has been started by then).
    void screenChanged();

private:
    // The screensaver's state by the first matching condition; text, dot and action follow from it.
    enum class Status { notInstalled, turnedOff, active, notActive };
    Status status() const;

    void clipChanged();
    void noteScreen();
    void readDesktop();
    // The idle time in seconds (absent: 5 minutes), 0 for never.
    qint64 idleSeconds() const;
    std::optional<QString> howItStarts() const;

    ContentServices services_;
    std::unique_ptr<PluginManager> pluginManager_;
    QString statusMessage_ = contentTexts::ready;
    bool paid_ = false;
    std::optional<qint64> credits_;
    bool debugLogExpanded_ = false;
    bool enabling_ = false;
    std::optional<QString> daemonMessage_;
    Screen lastScreen_;
    IdleAgent agent_;
    std::optional<QString> agentError_;
    bool settingsOpened_ = false;
    // What the desktop said when last asked.
    std::optional<platform::ScreensaverDaemonKind> runningDaemon_;
    bool xscreensaverInstalled_ = false;
    bool themeInstalled_ = false;
    std::optional<qint64> idleTime_;
};

} // namespace quorvel::app
