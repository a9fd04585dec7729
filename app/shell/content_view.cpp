#include "app/shell/content_view.h"

#include "app/client/auth_store.h"
#include "app/client/balance_reply.h"
#include "app/client/generation_store.h"
#include "app/client/service_json.h"
#include "app/client/user_defaults.h"
#include "app/shell/app_location_manager.h"
#include "app/shell/window_directory.h"
#include "kit/idle_time.h"
#include "kit/tessary.h"
#include "platform/idle_monitor.h"
#include "platform/log.h"
#include "platform/screensaver_daemon.h"
#include "platform/workspace.h"

#include <QPointer>
#include <QUrl>

#include <algorithm>

namespace quorvel::app {

namespace {

using platform::LogCategory;

// Tasks started from a click run on by themselves; each checks that its view is still there.
void detach(QCoro::Task<> task)
{
    Q_UNUSED(task);
}

// The idle agent's own default when no idle time was ever chosen.

QString durationText(qint64 seconds)
{
    if (seconds % 60 != 0)
        return seconds == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds);
    const qint64 minutes = seconds / 60;
    return minutes == 1 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(minutes);
}

// A word a POSIX shell reads back as `text`.
QString shellWord(const QString& text)
{
    static const QString plain
        = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+:,@%");
    if (!text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return plain.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

ContentView::ContentView(ContentServices services, QObject* parent)
    : QObject(parent)
    , services_(std::move(services))
    , pluginManager_(std::make_unique<PluginManager>(services_.plugins))
    , lastScreen_(screen())
    , agent_(services_.start.autostart, services_.start.runner, services_.start.saverPath)
{
    // A copy that moved or was updated keeps the agent's login entry pointing at its own host.
    agentError_ = agent_.refreshEntry();
    readDesktop();
    connect(pluginManager_.get(), &PluginManager::changed, this, &ContentView::changed);
    GenerationStore& generation = services_.generation;
    for (auto signal : { &GenerationStore::submissionChanged, &GenerationStore::isRunningChanged,
             &GenerationStore::stageChanged, &GenerationStore::logChanged, &GenerationStore::errorChanged })
        connect(&generation, signal, this, &ContentView::changed);
    connect(&generation, &GenerationStore::clipURLChanged, this, &ContentView::clipChanged);
    connect(&services_.auth, &AuthStore::enrollmentErrorChanged, this, &ContentView::changed);
    connect(&services_.auth, &AuthStore::enrollingChanged, this, &ContentView::changed);
    // Another window or a check may change a setting this screen shows (debug mode, onboarding).
    connect(&services_.defaults, &UserDefaults::valueChanged, this, [this] {
        noteScreen();
        emit changed();
    });
}

ContentView::~ContentView() = default;

ContentView::Screen ContentView::screen() const
{
    if (services_.appLocation.shouldOfferMove())
        return Screen::moveCard;
    return hasOnboarded() ? Screen::main : Screen::onboarding;
}

bool ContentView::hasOnboarded() const
{
    const QVariant value = services_.defaults.value(hasOnboardedKey);
    return value.typeId() == QMetaType::Bool && value.toBool();
}

bool ContentView::debugMode() const
{
    return defaults::debugMode(services_.defaults);
}

bool ContentView::showsAllSet() const
{
    return pluginManager_->isActiveScreensaver();
}

bool ContentView::enableEnabled() const
{
    // A second enable while a check or an enable runs would back up the first one's write.
    return !pluginManager_->isLoading() && !pluginManager_->isCheckingScreensaver() && !enabling_;
}

QString ContentView::onboardingCaption() const
{
    return errorText().value_or(contentTexts::oneClick);
}

std::optional<QString> ContentView::enrollmentError() const
{
    return services_.auth.enrollmentError();
}

bool ContentView::retryEnabled() const
{
    return !services_.auth.enrolling();
}

bool ContentView::createEnabled() const
{
    return !services_.generation.isRunning();
}

QString ContentView::createTooltip() const
{
    return services_.generation.isRunning() ? contentTexts::alreadyGeneratingTooltip : contentTexts::createTooltip;
}

bool ContentView::showsLatest() const
{
    return services_.generation.submission().has_value();
}

QString ContentView::latestHeading() const
{
    return isGenerating() ? contentTexts::generatingHeading : contentTexts::latestHeading;
}

bool ContentView::isGenerating() const
{
    return services_.generation.isRunning();
}

QString ContentView::stage() const
{
    return services_.generation.stage();
}

bool ContentView::showsClipReady() const
{
    return !isGenerating() && services_.generation.clipURL().has_value();
}

std::optional<QString> ContentView::generationError() const
{
    return isGenerating() ? std::nullopt : services_.generation.error();
}

void ContentView::setDebugLogExpanded(bool expanded)
{
    if (std::exchange(debugLogExpanded_, expanded) != expanded)
        emit changed();
}

QString ContentView::debugLogText() const
{
    const QString log = services_.generation.log();
    return log.isEmpty() ? contentTexts::waitingForOutput : log;
}

QString ContentView::plansSubtitle() const
{
    if (!credits_)
        return contentTexts::plansUnknown;
    return *credits_ >= 1 ? contentTexts::plansFreeLeft : contentTexts::plansOut;
}

ContentView::Status ContentView::status() const
{
    const PluginManager& m = *pluginManager_;
    if (!m.isInstalled())
        return Status::notInstalled;
    if (m.isTurnedOff())
        return Status::turnedOff;
    return m.isActiveScreensaver() ? Status::active : Status::notActive;
}

QString ContentView::statusText() const
{
    switch (status()) {
    case Status::notInstalled:
        return contentTexts::notInstalled;
    case Status::turnedOff:
        return contentTexts::turnedOff;
    case Status::active:
        return contentTexts::active;
    case Status::notActive:
        break;
    }
    return contentTexts::notActive;
}

ContentView::Dot ContentView::statusDot() const
{
    switch (status()) {
    case Status::notInstalled:
        return Dot::grey;
    case Status::active:
        return Dot::green;
    case Status::turnedOff:
    case Status::notActive:
        break;
    }
    return Dot::orange;
}

std::optional<QString> ContentView::creditCaption() const
{
    if (debugMode())
        return contentTexts::debugCredits;
    if (!credits_)
        return std::nullopt;
    return creditCountText(*credits_);
}

bool ContentView::showsLoading() const
{
    return pluginManager_->isLoading();
}

ContentView::StatusAction ContentView::statusAction() const
{
    switch (status()) {
    case Status::notInstalled:
        return StatusAction::install;
    case Status::turnedOff:
        return StatusAction::turnOn;
    case Status::active:
        return StatusAction::none;
    case Status::notActive:
        break;
    }
    return StatusAction::enable;
}

QString ContentView::statusActionText() const
{
    switch (statusAction()) {
    case StatusAction::install:
        return contentTexts::install;
    case StatusAction::turnOn:
        return contentTexts::turnOn;
    case StatusAction::enable:
        return contentTexts::enableAsScreensaver;
    case StatusAction::none:
        break;
    }
    return {};
}

bool ContentView::statusActionEnabled() const
{
    switch (statusAction()) {
    case StatusAction::install:
        return !pluginManager_->isLoading() && !enabling_;
    case StatusAction::enable:
        return enableEnabled();
    case StatusAction::turnOn:
        return true;
    case StatusAction::none:
        break;
    }
    return false;
}

std::optional<QString> ContentView::errorText() const
{
    const std::optional<QString> failure = pluginManager_->lastError();
    // A failed install already gives its reason in the status message, once is enough.
    if (failure && statusMessage_ != contentTexts::installFailed + *failure)
        return failure;
    if (pluginManager_->screensaverError())
        return pluginManager_->screensaverError();
    return agentError_;
}

void ContentView::readDesktop()
{
    const platform::SessionScreensavers& daemons = services_.start.daemons;
    const std::optional<platform::RunningScreensaverDaemon> running = daemons.runningDaemon();
    runningDaemon_ = running ? std::optional(running->kind) : std::nullopt;
    xscreensaverInstalled_ = daemons.isInstalled(platform::ScreensaverDaemonKind::xscreensaver);
    themeInstalled_ = services_.start.themeInstalled && services_.start.themeInstalled();
    idleTime_ = pluginManager_->tessary().getIdleTime();
}

qint64 ContentView::idleSeconds() const
{
    return kit::effectiveIdleTime(idleTime_).count();
}

std::optional<QString> ContentView::howItStarts() const
{
    // Where a daemon runs the session, it decides and the idle agent stays out of its way.
    if (runningDaemon_)
        return contentTexts::startsByDaemon.arg(platform::daemonProgramName(*runningDaemon_));
    if (idleSeconds() == 0)
        return contentTexts::startsNever;
    if (!services_.start.idle.isAvailable())
        return contentTexts::idleUnknown;
    return contentTexts::startsAfter.arg(durationText(idleSeconds()));
}

std::optional<QString> ContentView::startLine() const
{
    return status() == Status::active ? howItStarts() : std::nullopt;
}

std::optional<QString> ContentView::onboardingStartLine() const
{
    if (!showsAllSet() || runningDaemon_)
        return std::nullopt;
    if (idleSeconds() != 0 && services_.start.idle.isAvailable())
        return std::nullopt;
    return howItStarts();
}

ContentView::DaemonCard ContentView::daemonCard() const
{
    if (!runningDaemon_)
        return DaemonCard::none;
    switch (*runningDaemon_) {
    case platform::ScreensaverDaemonKind::xscreensaver:
        return xscreensaverInstalled_ ? DaemonCard::xscreensaver : DaemonCard::none;
    case platform::ScreensaverDaemonKind::mateScreensaver:
        return DaemonCard::mateScreensaver;
    case platform::ScreensaverDaemonKind::xssLock:
        break;
    }
    return DaemonCard::xsecurelock;
}

QString ContentView::daemonCardText() const
{
    switch (daemonCard()) {
    case DaemonCard::xscreensaver:
        return contentTexts::xscreensaverHelp;
    case DaemonCard::mateScreensaver:
        return themeInstalled_ ? contentTexts::mateHelp : contentTexts::mateNeedsPackage;
    case DaemonCard::xsecurelock:
        return contentTexts::xsecurelockHelp;
    case DaemonCard::none:
        break;
    }
    return {};
}

QString ContentView::xsecurelockLine() const
{
    return QStringLiteral("XSECURELOCK_SAVER=") + shellWord(services_.start.saverPath);
}

QString ContentView::daemonConfigurationName() const
{
    return services_.daemon.configurationName();
}

void ContentView::mainScreenAppeared()
{
    detach(refreshBalance());
    if (services_.debugAccess) {
        auto ask = [](std::function<QCoro::Task<bool>()> question) -> QCoro::Task<> { co_await question(); };
        detach(ask(services_.debugAccess));
    }
}

QCoro::Task<> ContentView::refreshBalance()
{
    QPointer<ContentView> self(this);
    AuthStore& auth = services_.auth;
    if (!co_await auth.ensureEnrolled())
        co_return;
    const AuthorizedResult result = co_await auth.balance();
    if (const std::optional<QString> failure = result.failure()) {
        auth.setEnrollmentError(*failure);
        co_return;
    }
    // An outdated build learns it here too, as on the create screen.
    if (result.isResponse()) {
        if (const std::optional<QString> update
            = AuthStore::updateRequiredMessage(result.status(), json::object(result.body()).value_or(QJsonObject()))) {
            auth.setEnrollmentError(*update);
            co_return;
        }
    }
    if (!self)
        co_return;
    if (const std::optional<BalanceReply> reply = readBalance(result)) {
        credits_ = reply->credits;
        paid_ = reply->paid;
        emit changed();
    }
}

void ContentView::retry()
{
    services_.auth.setEnrollmentError(std::nullopt);
    detach(refreshBalance());
}

QCoro::Task<> ContentView::install()
{
    QPointer<ContentView> self(this);
    statusMessage_ = contentTexts::installing;
    emit changed();
    QString outcome = contentTexts::installed;
    try {
        co_await pluginManager_->install();
    } catch (const PluginError& e) {
        outcome = contentTexts::installFailed + e.message();
        platform::log::error(LogCategory::HostApp, QStringLiteral("Install failed: %1").arg(e.message()));
    }
    if (!self)
        co_return;
    // The registry is the judge: a registration it does not list did not happen.
    if (outcome == contentTexts::installed && !pluginManager_->isInstalled() && !pluginManager_->lastError()) {
        outcome = contentTexts::installFailed + contentTexts::notListed;
        platform::log::error(LogCategory::HostApp, QStringLiteral("Install failed: %1").arg(contentTexts::notListed));
    }
    statusMessage_ = outcome;
    emit changed();
}

QCoro::Task<> ContentView::enable()
{
    if (!enableEnabled())
        co_return;
    QPointer<ContentView> self(this);
    // Owned by the view: gone only together with it, which every await below checks.
    PluginManager* manager = pluginManager_.get();
    enabling_ = true;
    agentError_.reset();
    emit changed();
    if (!manager->isInstalled()) {
        std::optional<QString> failure;
        try {
            co_await manager->install();
        } catch (const PluginError& e) {
            failure = e.message();
        }
        if (!self)
            co_return;
        if (failure) {
            platform::log::error(LogCategory::HostApp, QStringLiteral("Install failed: %1").arg(*failure));
            enabling_ = false;
            emit changed();
            co_return;
        }
    }
    co_await manager->enableScreensaver();
    if (!self)
        co_return;
    manager->checkActiveScreensaver();
    // Only a write the store confirms starts anything: the agent would otherwise play the user's
    // previous screensaver, or nothing, and call that Quorvel.
    if (manager->isActiveScreensaver())
        agentError_ = agent_.enable();
    enabling_ = false;
    emit changed();
}

void ContentView::activateStatusAction()
{
    switch (statusAction()) {
    case StatusAction::install:
        if (statusActionEnabled())
            detach(install());
        break;
    case StatusAction::turnOn:
        openSettings();
        break;
    case StatusAction::enable:
        detach(enable());
        break;
    case StatusAction::none:
        break;
    }
}

void ContentView::openSettings()
{
    const QUrl url(settingsPaneUrl);
    if (!url.isValid())
        return;
    services_.workspace.openURL(url);
    // What the user switches there shows when they come back to this window.
    settingsOpened_ = true;
}

void ContentView::windowActivated()
{
    readDesktop();
    // An enable in flight ends with its own check; a second one now would end its guard early.
    if (settingsOpened_ && !enabling_ && !pluginManager_->isCheckingScreensaver()) {
        settingsOpened_ = false;
        pluginManager_->refresh();
        pluginManager_->checkActiveScreensaver();
    }
    emit changed();
}

void ContentView::startScreenSaver()
{
    services_.workspace.openURL(QUrl::fromLocalFile(screenSaverEnginePath));
}

void ContentView::openCreate()
{
    if (createEnabled())
        services_.openWindow(windowIds::create);
}

void ContentView::openLibrary()
{
    services_.openWindow(windowIds::library);
}

void ContentView::openUpgrade()
{
    services_.openWindow(windowIds::upgrade);
}

void ContentView::openPreview()
{
    services_.openWindow(windowIds::preview);
}

void ContentView::finishOnboarding()
{
    services_.defaults.setValue(hasOnboardedKey, true);
    services_.defaults.synchronize();
    services_.openWindow(windowIds::create);
    noteScreen();
}

void ContentView::addToDesktopDaemon()
{
    const QString file = services_.daemon.configurationName();
    const platform::DaemonEntryResult result = services_.daemon.addSaverEntry();
    switch (result.outcome) {
    case platform::DaemonEntryResult::Outcome::added:
        daemonMessage_ = QStringLiteral("Added Quorvel to the screensaver list in %1.").arg(file);
        break;
    case platform::DaemonEntryResult::Outcome::alreadyListed:
        daemonMessage_ = QStringLiteral("Quorvel is already in the screensaver list in %1.").arg(file);
        break;
    case platform::DaemonEntryResult::Outcome::failed:
        daemonMessage_ = QStringLiteral("Couldn't add Quorvel to %1: %2").arg(file, result.reason);
        platform::log::error(LogCategory::HostApp, *daemonMessage_);
        break;
    }
    emit changed();
}

void ContentView::clipChanged()
{
    emit changed();
    if (!services_.generation.clipURL())
        return;
    // A clip has just finished: its cost shows in the balance, and it opens for a look.
    detach(refreshBalance());
    openPreview();
}

void ContentView::noteScreen()
{
    const Screen now = screen();
    if (std::exchange(lastScreen_, now) == now)
        return;
    if (now == Screen::main)
        mainScreenAppeared();
    emit screenChanged();
    emit changed();
}

} // namespace quorvel::app
