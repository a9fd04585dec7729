#include "app/shell/app_location_manager.h"

#include "app/shell/translocation.h"
#include "platform/clock.h"
#include "platform/desktop_entries.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/workspace.h"

#include <QCoroFuture>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QUuid>
#include <QtConcurrent>

#include <algorithm>

namespace quorvel::app {

namespace {

using platform::LogCategory;
namespace log = platform::log;

// Absolute, without "." or ".." or a trailing slash.
QString standardized(const QString& path)
{
    return path.isEmpty() ? QString()
                          : QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
}

bool isInside(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

const QString kStagePrefix = QStringLiteral(".Quorvel-");
const QString kStageSuffix = QStringLiteral(".app");

// The hidden names a move stages its copy under, and under which a replaced copy waits for removal.
bool isStageName(const QString& name)
{
    return name.startsWith(kStagePrefix) && name.endsWith(kStageSuffix);
}

struct CopyPlan {
    QString source;
    QString destination;
    QString folder;
    bool replaceExisting = false;
};

// Runs on a worker thread and touches nothing but the file manager: copying a bundle takes seconds.
std::optional<AppLocationError> installCopy(platform::FileManager& files, const CopyPlan& plan)
{
    if (!files.exists(plan.source))
        return AppLocationError { AppLocationError::Kind::sourceMissing, {} };
    const bool destinationTaken = files.exists(plan.destination);
    if (destinationTaken && !plan.replaceExisting)
        return AppLocationError { AppLocationError::Kind::replacementNotConfirmed, {} };
    // The per-user folder may not exist yet on a fresh account.
    if (auto failure = files.makeFolder(plan.folder))
        return AppLocationError { AppLocationError::Kind::fileOperation, *failure };

    // Always through a hidden stage, so the destination is either the old app or the whole new one.
    const QString stage = plan.folder + QLatin1Char('/') + kStagePrefix
        + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + kStageSuffix;
    std::optional<QString> failure = files.copyItem(plan.source, stage);
    if (!failure)
        failure = files.replaceItem(plan.destination, stage);
    if (!failure) {
        // The new copy is in place and the move has succeeded; the old one under the stage's name
        // is only a leftover, which the next start removes when it cannot go now.
        if (files.exists(stage)) {
            if (auto removal = files.removeItem(stage))
                log::error(LogCategory::AppLocation,
                    QStringLiteral(
                        "Could not remove the replaced copy at %1: %2. It will be removed at the next start.")
                        .arg(stage, *removal));
        }
        return std::nullopt;
    }
    if (files.exists(stage)) {
        if (auto removal = files.removeItem(stage))
            log::error(LogCategory::AppLocation, QStringLiteral("Could not remove staged app copy: %1").arg(*removal));
    }
    return AppLocationError { AppLocationError::Kind::fileOperation, *failure };
}

} // namespace

QString AppLocationError::description() const
{
    switch (kind) {
    case Kind::existingCopyWouldNotQuit:
        return QStringLiteral("The existing Quorvel copy in Applications is still running.");
    case Kind::replacementNotConfirmed:
        return QStringLiteral("Replacing the existing Quorvel copy was not confirmed.");
    case Kind::sourceMissing:
        return QStringLiteral("The Quorvel app bundle could not be found at its original location.");
    case Kind::fileOperation:
    case Kind::launchFailed:
        return detail;
    }
    return detail;
}

AppLocationManager::AppLocationManager(const QString& runningBundlePath, Environment environment, QObject* parent)
    : QObject(parent)
    , environment_(std::move(environment))
{
    for (QString& folder : environment_.applicationsFolders)
        folder = standardized(folder);
    runningBundlePath_ = standardized(runningBundlePath);
    if (runningBundlePath_.isEmpty())
        return;
    const TranslocationResult translocation = queryTranslocation(environment_.symbols, runningBundlePath_);
    copySourcePath_ = standardized(translocation.originalPath.value_or(runningBundlePath_));
    destinationPath_ = moveFolder() + QLatin1Char('/') + QFileInfo(runningBundlePath_).fileName();
    // Anywhere below one of the folders counts as installed, a subfolder of it included.
    const bool installed
        = std::any_of(environment_.applicationsFolders.cbegin(), environment_.applicationsFolders.cend(),
            [this](const QString& folder) { return !folder.isEmpty() && isInside(runningBundlePath_, folder); });
    shouldOfferMove_ = translocation.isTranslocated || !installed;
    if (shouldOfferMove_)
        log::info(
            LogCategory::AppLocation, QStringLiteral("App needs relocation. Running path: %1").arg(runningBundlePath_));
    removeLeftovers();
}

// A removal of leftovers still running finishes first: it uses the file manager.
AppLocationManager::~AppLocationManager()
{
    leftoverRemoval_.waitForFinished();
}

void AppLocationManager::removeLeftovers()
{
    QStringList leftovers;
    for (const QString& name : environment_.files.itemNames(moveFolder()))
        if (isStageName(name))
            leftovers << moveFolder() + QLatin1Char('/') + name;
    if (leftovers.isEmpty())
        return;
    // Names listed now: a stage that a move of this process makes later is never among them.
    leftoverRemoval_ = QtConcurrent::run([&files = environment_.files, leftovers] {
        for (const QString& leftover : leftovers) {
            if (auto failure = files.removeItem(leftover))
                log::error(LogCategory::AppLocation,
                    QStringLiteral("Could not remove a leftover copy at %1: %2").arg(leftover, *failure));
            else
                log::info(LogCategory::AppLocation, QStringLiteral("Removed a leftover copy at %1").arg(leftover));
        }
    });
}

void AppLocationManager::moveToApplications(bool replaceExisting)
{
    // One move at a time: a second press while copying would copy twice.
    if (isMoving_ || runningBundlePath_.isEmpty())
        return;
    setFallbackMessage(std::nullopt);
    if (environment_.files.exists(destinationPath_) && !replaceExisting) {
        setReplacementConfirmationNeeded(true);
        return;
    }
    setReplacementConfirmationNeeded(false);
    setMoving(true);
    move(replaceExisting);
}

void AppLocationManager::cancelReplacement()
{
    setReplacementConfirmationNeeded(false);
}

void AppLocationManager::openApplicationsFolder()
{
    environment_.files.makeFolder(moveFolder());
    environment_.workspace.openURL(QUrl::fromLocalFile(moveFolder()));
}

QCoro::Task<> AppLocationManager::move(bool replaceExisting)
{
    QPointer<AppLocationManager> self(this);
    const auto quitFailure = co_await quitExistingCopy();
    if (!self)
        co_return;
    if (quitFailure) {
        fail(*quitFailure);
        co_return;
    }
    // Off the main thread, so the window goes on painting "Moving Quorvel…" while the bundle copies.
    const CopyPlan plan { copySourcePath_, destinationPath_, moveFolder(), replaceExisting };
    // A named future: GCC 12 mishandles temporaries inside a co_await expression.
    const QFuture<std::optional<AppLocationError>> copying
        = QtConcurrent::run([&files = environment_.files, plan] { return installCopy(files, plan); });
    const std::optional<AppLocationError> failure = co_await copying;
    if (!self)
        co_return;
    if (failure) {
        fail(*failure);
        co_return;
    }
    registerWithDesktop();
    if (const auto launchFailure = launchNewCopy()) {
        fail(*launchFailure);
        co_return;
    }
    log::info(LogCategory::AppLocation, QStringLiteral("Relaunched Quorvel from %1").arg(destinationPath_));
    if (environment_.terminate)
        environment_.terminate();
}

QCoro::Task<std::optional<AppLocationError>> AppLocationManager::quitExistingCopy()
{
    std::optional<qint64> existing;
    for (const auto& running : environment_.workspace.runningApplications()) {
        if (running.pid != environment_.ownPid && standardized(running.bundlePath) == destinationPath_) {
            existing = running.pid;
            break;
        }
    }
    if (!existing)
        co_return std::nullopt;

    log::info(
        LogCategory::AppLocation, QStringLiteral("Asking the existing Applications copy to quit before replacement."));
    const AppLocationError stillRunning { AppLocationError::Kind::existingCopyWouldNotQuit, {} };
    if (!environment_.workspace.terminate(*existing))
        co_return stillRunning;
    QPointer<AppLocationManager> self(this);
    for (int sleeps = 0; !environment_.workspace.isTerminated(*existing); ++sleeps) {
        if (sleeps == quitPollLimit)
            co_return stillRunning;
        const bool slept = co_await environment_.sleeper.sleep(quitPollInterval);
        if (!self || !slept)
            co_return stillRunning;
    }
    co_return std::nullopt;
}

void AppLocationManager::registerWithDesktop()
{
    platform::DesktopEntry entry;
    entry.id = desktopEntryId;
    entry.name = QStringLiteral("Quorvel");
    entry.comment = QStringLiteral("Make wumbles and play them as your screensaver");
    entry.executablePath = destinationPath_ + QStringLiteral("/Contents/MacOS/Quorvel");
    const QString icon = destinationPath_ + QStringLiteral("/Contents/Resources/Quorvel.png");
    if (environment_.files.exists(icon))
        entry.iconPath = icon;
    // The app works without a launcher entry; only the log hears about it.
    if (auto failure = environment_.desktopEntries.install(entry))
        log::error(
            LogCategory::AppLocation, QStringLiteral("Could not register Quorvel with the desktop: %1").arg(*failure));
}

std::optional<AppLocationError> AppLocationManager::launchNewCopy()
{
    // The new copy must find no running copy to hand over to, or it would raise this one and end.
    if (environment_.releaseInstance)
        environment_.releaseInstance();
    if (environment_.workspace.openApplication(destinationPath_, {}))
        return std::nullopt;
    if (environment_.reclaimInstance)
        environment_.reclaimInstance();
    return AppLocationError { AppLocationError::Kind::launchFailed,
        QStringLiteral("Quorvel could not be started from %1.").arg(destinationPath_) };
}

void AppLocationManager::fail(const AppLocationError& error)
{
    setMoving(false);
    setFallbackMessage(texts::moveFailed);
    log::error(LogCategory::AppLocation, QStringLiteral("Move to Applications failed: %1").arg(error.description()));
    emit moveFailed();
}

QString AppLocationManager::moveFolder() const
{
    return environment_.applicationsFolders.value(0);
}

void AppLocationManager::setMoving(bool moving)
{
    if (std::exchange(isMoving_, moving) != moving)
        emit isMovingChanged();
}

void AppLocationManager::setReplacementConfirmationNeeded(bool needed)
{
    if (std::exchange(replacementConfirmationNeeded_, needed) != needed)
        emit replacementConfirmationNeededChanged();
}

void AppLocationManager::setFallbackMessage(std::optional<QString> message)
{
    if (fallbackMessage_ == message)
        return;
    fallbackMessage_ = std::move(message);
    emit fallbackMessageChanged();
}

} // namespace quorvel::app
