// The guarded write: write, restart the agent, let it settle, check the store names the module,
// and put the previous store back when it does not.
#include "kit/errors.h"
#include "kit/screensaver_manager.h"
#include "kit/value_access.h"
#include "platform/clock.h"
#include "platform/process_runner.h"

#include <QFileInfo>

namespace quorvel::kit {

namespace {

QString fileSize(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? QString::number(info.size()) : QStringLiteral("unknown");
}

} // namespace

void ScreensaverManager::restartWallpaperAgent() const
{
    // Not awaited and its status not looked at: the system starts a fresh agent by itself.
    env_->runner->startDetached(env_->killallPath, { QStringLiteral("WallpaperAgent") });
}

bool ScreensaverManager::verifyScreensaverApplied(const QString& expected, const ScreensaverTarget& target) const
{
    switch (target.kind) {
    case ScreensaverTarget::Kind::display: {
        const auto monitor = monitorWithNumber(target.display);
        if (!monitor)
            return false;
        for (const QVariant& s : value::list(monitor->value(QStringLiteral("spaces"))).value_or(QVariantList {}))
            if (activeModuleName(value::map(s).value_or(QVariantMap {}).value(QStringLiteral("uuid")).toString())
                == expected)
                return true;
        return false;
    }
    case ScreensaverTarget::Kind::space:
        return activeModuleName(target.space) == expected;
    case ScreensaverTarget::Kind::displaySpace: {
        const auto monitor = monitorWithNumber(target.display);
        if (!monitor)
            return false;
        for (const QVariant& s : value::list(monitor->value(QStringLiteral("spaces"))).value_or(QVariantList {})) {
            const QVariantMap space = value::map(s).value_or(QVariantMap {});
            if (value::integer(space.value(QStringLiteral("space_number"))) == target.spaceNumber)
                return activeModuleName(space.value(QStringLiteral("uuid")).toString()) == expected;
        }
        return false;
    }
    case ScreensaverTarget::Kind::everywhere:
        return getActiveScreensavers().contains(expected);
    }
    return false;
}

QCoro::Task<> ScreensaverManager::writeWithAutoRollback(QVariantMap store, QString path, bool restartAgent,
    bool enableDebug, std::optional<QString> expectedModule, std::optional<ScreensaverTarget> target,
    double settleSeconds)
{
    debug(enableDebug, QStringLiteral("Starting writeWithAutoRollback"));
    debug(enableDebug, QStringLiteral("Target path: ") + path);
    debug(enableDebug,
        QStringLiteral("Restart agent: ") + (restartAgent ? QStringLiteral("true") : QStringLiteral("false")));
    QString preWrite = QStringLiteral("N/A");
    try {
        preWrite = env_->plist->calculateChecksum(path);
    } catch (const std::exception&) {
    }
    debug(enableDebug, QStringLiteral("Pre-write checksum: ") + preWrite);

    env_->plist->write(store, path);
    const QString postWrite = env_->plist->calculateChecksum(path);
    debug(enableDebug, QStringLiteral("Post-write checksum: ") + postWrite);
    debug(enableDebug, QStringLiteral("File size after write: ") + fileSize(path));

    if (!restartAgent) {
        debug(enableDebug, QStringLiteral("writeWithAutoRollback completed"));
        co_return;
    }
    debug(enableDebug, QStringLiteral("Restarting WallpaperAgent..."));
    restartWallpaperAgent();
    debug(enableDebug, QStringLiteral("Waiting %1 seconds for system to settle...").arg(settleSeconds, 0, 'f', 1));
    const bool settled = co_await env_->sleeper->sleep(std::chrono::milliseconds(qint64(settleSeconds * 1000.0)));
    if (!settled)
        throw TessaryError::unknownError(QStringLiteral("The wait for the system to settle was cancelled."));

    if (!expectedModule || !target) {
        debug(enableDebug, QStringLiteral("No verification parameters provided - skipping semantic verification"));
        try {
            const QString postRestart = env_->plist->calculateChecksum(path);
            debug(enableDebug, QStringLiteral("Post-restart checksum: ") + postRestart);
            debug(enableDebug, QStringLiteral("File size after restart: ") + fileSize(path));
            debug(enableDebug,
                QStringLiteral("Checksums match: ")
                    + (postRestart == postWrite ? QStringLiteral("true") : QStringLiteral("false")));
        } catch (const std::exception& error) {
            debug(enableDebug, QStringLiteral("Could not read post-restart file info: ") + describeError(error));
        }
        debug(enableDebug, QStringLiteral("writeWithAutoRollback completed"));
        co_return;
    }

    const QString backup = PlistManager::backupPath(path);
    const QString targetText = target->description();
    std::optional<QString> verificationError;
    try {
        if (verifyScreensaverApplied(*expectedModule, *target)) {
            debug(enableDebug, QStringLiteral("Semantic verification result: SUCCESS"));
            debug(enableDebug, QStringLiteral("Expected module: ") + *expectedModule);
            debug(enableDebug, QStringLiteral("Target: ") + targetText);
            debug(enableDebug, QStringLiteral("Semantic verification passed - screensaver correctly applied"));
            debug(enableDebug, QStringLiteral("writeWithAutoRollback completed"));
            co_return;
        }
        debug(enableDebug, QStringLiteral("Semantic verification result: FAILED"));
        debug(enableDebug, QStringLiteral("Expected module: ") + *expectedModule);
        debug(enableDebug, QStringLiteral("Target: ") + targetText);
        say(QStringLiteral("⚠️ Semantic verification failed - screensaver configuration did not apply correctly"));
        debug(enableDebug,
            QStringLiteral("Expected module '%1' not found for target %2").arg(*expectedModule, targetText));
        say(QStringLiteral("🔧 Auto-rolling back..."));
        try {
            env_->plist->restore(backup, path);
        } catch (const std::exception& error) {
            verificationError = describeError(error);
        }
    } catch (const std::exception& error) {
        verificationError = describeError(error);
    }
    if (verificationError) {
        say(QStringLiteral("⚠️ Unable to verify screensaver configuration after WallpaperAgent restart"));
        debug(enableDebug, QStringLiteral("Verification error: ") + *verificationError);
        say(QStringLiteral("🔧 Auto-rolling back..."));
        env_->plist->restore(backup, path); // a second failure reaches the caller
    }
    debug(enableDebug, QStringLiteral("Restarting WallpaperAgent after rollback..."));
    restartWallpaperAgent();
    say(QStringLiteral("✅ Auto-rollback completed successfully"));
    debug(enableDebug, QStringLiteral("writeWithAutoRollback completed"));
    // The change did not take; the caller must not report success.
    throw TessaryError::changeRolledBack();
}

} // namespace quorvel::kit
