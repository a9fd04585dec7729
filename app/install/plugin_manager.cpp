#include "app/install/plugin_manager.h"
#include "app/install/registry_tool.h"

#include "kit/errors.h"
#include "kit/module_resolution.h"
#include "kit/tessary.h"
#include "platform/log.h"
#include "platform/operating_system.h"
#include "platform/process_runner.h"

#include <QFileInfo>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

namespace quorvel::app {

namespace {

using platform::LogCategory;

constexpr std::chrono::seconds kToolTimeout { 30 };

QString orNone(const std::optional<QString>& value)
{
    return value ? *value : QStringLiteral("none");
}

QString decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

} // namespace

PluginManager::PluginManager(PluginManagerServices services, QObject* parent)
    : QObject(parent)
    , services_(std::move(services))
    , tessary_(std::make_shared<kit::Tessary>(services_.kit))
{
    refresh();
    checkActiveScreensaver();
    QTimer::singleShot(0, this, [this] {
        QCoro::Task<> task = reregisterIfUpdated();
        Q_UNUSED(task);
    });
}

PluginManager::~PluginManager() = default;

template <typename T> void PluginManager::publish(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    emit changed();
}

std::optional<QString> PluginManager::embeddedExtensionPath() const
{
    const auto bundle = services_.system.mainBundle();
    if (!bundle || bundle->plugInsPath.isEmpty())
        return std::nullopt;
    return bundle->plugInsPath + QStringLiteral("/QuorvelExtension.appex");
}

std::optional<QString> PluginManager::embeddedExtensionVersion() const
{
    const auto path = embeddedExtensionPath();
    if (!path)
        return std::nullopt;
    const auto bundle = services_.system.bundle(*path);
    return bundle ? bundle->shortVersion : std::nullopt;
}

QCoro::Task<QString> PluginManager::runPluginkit(QStringList arguments, bool failOnError)
{
    // Held here: the manager may go while the tool runs.
    const auto runner = services_.runner;
    const QString tool = services_.toolPath.value_or(QString::fromLatin1(kRegistryToolName));
    if (!services_.toolPath)
        throw PluginError::launchFailed(platform::registryToolNotFoundText());
    const QString commandLine = (QStringList { tool } + arguments).join(QLatin1Char(' '));

    const platform::ProcessResult result = co_await runner->run(tool, arguments, kToolTimeout);
    if (!result.started)
        throw PluginError::launchFailed(
            result.errorText.isEmpty() ? QStringLiteral("Couldn't start %1").arg(tool) : result.errorText);
    const QString output = decodeUtf8(result.output);
    platform::log::debug(LogCategory::PluginManager, QStringLiteral("Process output: %1").arg(output));
    // A tool that hung or died gives no answer to go by, whatever it printed before.
    if (result.timedOut || result.crashed) {
        platform::log::error(LogCategory::PluginManager, QStringLiteral("Process exited with status: %1").arg(-1));
        throw PluginError::commandFailed(commandLine, -1, output + QLatin1Char('\n') + result.errorText);
    }
    if (result.exitCode != 0) {
        platform::log::error(
            LogCategory::PluginManager, QStringLiteral("Process exited with status: %1").arg(result.exitCode));
        if (failOnError)
            throw PluginError::commandFailed(commandLine, result.exitCode, output);
    }
    co_return output;
}

QCoro::Task<std::optional<Registration>> PluginManager::queryRegistration()
{
    QPointer<PluginManager> self(this);
    const QString output = co_await runPluginkit(queryArguments, false);
    if (!self)
        co_return std::nullopt;
    const std::optional<Registration> chosen
        = chooseRegistration(registrationsIn(output, bundleIdentifier), embeddedExtensionPath());
    platform::log::info(LogCategory::PluginManager,
        QStringLiteral("pluginkit registration: path=%1 version=%2 election=%3")
            .arg(orNone(chosen ? chosen->path : std::nullopt), orNone(chosen ? chosen->version : std::nullopt),
                chosen ? electionName(chosen->election) : QStringLiteral("none")));
    co_return chosen;
}

void PluginManager::applyRegistration(
    const std::optional<Registration>& registration, const std::optional<QString>& error)
{
    publish(isInstalled_, registration.has_value());
    publish(installedPath_, registration ? registration->path : std::nullopt);
    publish(installedVersion_, registration ? registration->version : std::nullopt);
    publish(installedElection_, registration ? registration->election : PluginElection::active);
    publish(isLoading_, false);
    publish(lastError_, error);
}

void PluginManager::refresh()
{
    publish(isLoading_, true);
    publish(lastError_, std::optional<QString>());
    const quint64 serial = ++querySerial_;
    QTimer::singleShot(0, this, [this, serial] {
        if (serial != querySerial_)
            return; // a newer refresh has started its own query
        QCoro::Task<> task = refreshNow();
        Q_UNUSED(task);
    });
}

QCoro::Task<> PluginManager::refreshNow()
{
    QPointer<PluginManager> self(this);
    publish(isLoading_, true);
    publish(lastError_, std::optional<QString>());
    const quint64 serial = ++querySerial_;
    std::optional<Registration> registration;
    std::optional<QString> error;
    try {
        registration = co_await queryRegistration();
    } catch (const PluginError& e) {
        error = e.message();
    }
    if (!self || serial != querySerial_)
        co_return;
    applyRegistration(registration, error);
}

QCoro::Task<> PluginManager::install()
{
    QPointer<PluginManager> self(this);
    const std::optional<QString> path = embeddedExtensionPath();
    if (!path || !QFileInfo::exists(*path))
        throw PluginError::embeddedExtensionNotFound();
    platform::log::info(LogCategory::PluginManager, QStringLiteral("Installing extension from: %1").arg(*path));
    publish(isLoading_, true);
    publish(lastError_, std::optional<QString>());
    try {
        const QStringList arguments { QStringLiteral("-a"), *path };
        co_await runPluginkit(arguments, true);
    } catch (const PluginError& e) {
        if (self) {
            publish(isLoading_, false);
            publish(lastError_, std::optional(e.message()));
        }
        throw;
    }
    if (!self)
        co_return;
    platform::log::info(LogCategory::PluginManager, QStringLiteral("Extension installed successfully"));
    // Awaited, so the caller's next step (enabling) sees the new registration.
    co_await refreshNow();
    if (!self)
        co_return;
    checkActiveScreensaver();
}

QCoro::Task<> PluginManager::reregisterIfUpdated()
{
    QPointer<PluginManager> self(this);
    std::optional<Registration> registered;
    try {
        registered = co_await queryRegistration();
    } catch (const PluginError&) {
        registered.reset();
    }
    if (!self)
        co_return;
    const std::optional<QString> path = embeddedExtensionPath();
    if (!needsReregistration(registered, path, embeddedExtensionVersion()) || !QFileInfo::exists(*path))
        co_return;
    platform::log::info(
        LogCategory::PluginManager, QStringLiteral("Re-registering embedded extension after update: %1").arg(*path));
    try {
        const QStringList arguments { QStringLiteral("-a"), *path };
        co_await runPluginkit(arguments, true);
    } catch (const PluginError& e) {
        platform::log::error(
            LogCategory::PluginManager, QStringLiteral("Post-update re-registration failed: %1").arg(e.message()));
    }
    if (self)
        refresh();
}

void PluginManager::checkActiveScreensaver()
{
    publish(isCheckingScreensaver_, true);
    if (!keepErrorThroughNextCheck_)
        publish(screensaverError_, std::optional<QString>());
    keepErrorThroughNextCheck_ = false;
    publish(isActiveScreensaver_, tessary_->getActiveScreensavers().contains(screensaverDisplayName));
    publish(isCheckingScreensaver_, false);
}

QCoro::Task<> PluginManager::enableScreensaver()
{
    // Two overlapping enables would each back up the store; the second would save the first's write
    // as "the previous settings" and a rollback could no longer bring the user's own choice back.
    if (isCheckingScreensaver_)
        co_return;
    QPointer<PluginManager> self(this);
    const auto tessary = tessary_;
    publish(isCheckingScreensaver_, true);
    publish(screensaverError_, std::optional<QString>());
    keepErrorThroughNextCheck_ = false;
    std::optional<QString> failure;
    // Here the wallpaper agent's stand-in makes the store only when it first runs; a user who
    // enables before that must not be told the store cannot be read.
    kit::ModuleResolver(services_.kit).ensureStore();
    try {
        co_await tessary->setScreensaverEverywhere(
            screensaverDisplayName, kit::WriteOptions { .restartAgent = true, .enableDebug = false });
    } catch (const std::exception& e) {
        failure = kit::describeError(e);
    }
    if (!self)
        co_return;
    if (!failure) {
        checkActiveScreensaver();
        co_return;
    }
    publish(screensaverError_, failure);
    publish(isCheckingScreensaver_, false);
    keepErrorThroughNextCheck_ = true;
}

} // namespace quorvel::app
