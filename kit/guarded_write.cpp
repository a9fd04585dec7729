#include "kit/guarded_write.h"

#include "kit/errors.h"
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

GuardedWrite::GuardedWrite(std::shared_ptr<KitEnvironment> env, Verifier verify)
    : env_(std::move(env))
    , verify_(std::move(verify))
{
}

void GuardedWrite::restartWallpaperAgent(const KitEnvironment& env)
{
    env.runner->startDetached(env.killallPath, { QStringLiteral("WallpaperAgent") });
}

void GuardedWrite::debug(bool enabled, const QString& line) const
{
    if (enabled)
        env_->print(QStringLiteral("🔧 DEBUG: ") + line);
}

QCoro::Task<> GuardedWrite::run(QVariantMap store, QString path, WriteOptions options,
    std::optional<QString> expectedModule, std::optional<ScreensaverTarget> target, double settleSeconds,
    std::optional<QByteArray> basis)
{
    const bool verbose = options.enableDebug;
    debug(verbose, QStringLiteral("Starting writeWithAutoRollback"));
    debug(verbose, QStringLiteral("Target path: ") + path);
    debug(verbose,
        QStringLiteral("Restart agent: ") + (options.restartAgent ? QStringLiteral("true") : QStringLiteral("false")));
    // Only printed, so a quiet write does not hash the whole store for it.
    if (verbose)
        debug(verbose,
            QStringLiteral("Pre-write checksum: ") + env_->plist->tryChecksum(path).value_or(QStringLiteral("N/A")));

    env_->plist->write(store, path, std::move(basis));
    // The checksum is only printed; a quiet write still fails here when the store cannot be read back.
    QString postWrite;
    if (verbose)
        postWrite = env_->plist->calculateChecksum(path);
    else
        env_->plist->checkReadable(path);
    debug(verbose, QStringLiteral("Post-write checksum: ") + postWrite);
    debug(verbose, QStringLiteral("File size after write: ") + fileSize(path));

    if (!options.restartAgent) {
        debug(verbose, QStringLiteral("writeWithAutoRollback completed"));
        co_return;
    }
    debug(verbose, QStringLiteral("Restarting WallpaperAgent..."));
    restartWallpaperAgent(*env_);
    debug(verbose, QStringLiteral("Waiting %1 seconds for system to settle...").arg(settleSeconds, 0, 'f', 1));
    const bool settled = co_await env_->sleeper->sleep(std::chrono::milliseconds(qint64(settleSeconds * 1000.0)));
    if (!settled)
        throw TessaryError::unknownError(QStringLiteral("The wait for the system to settle was cancelled."));

    if (!expectedModule || !target) {
        debug(verbose, QStringLiteral("No verification parameters provided - skipping semantic verification"));
        try {
            const QString postRestart = env_->plist->calculateChecksum(path);
            debug(verbose, QStringLiteral("Post-restart checksum: ") + postRestart);
            debug(verbose, QStringLiteral("File size after restart: ") + fileSize(path));
            debug(verbose,
                QStringLiteral("Checksums match: ")
                    + (postRestart == postWrite ? QStringLiteral("true") : QStringLiteral("false")));
        } catch (const std::exception& error) {
            debug(verbose, QStringLiteral("Could not read post-restart file info: ") + describeError(error));
        }
        debug(verbose, QStringLiteral("writeWithAutoRollback completed"));
        co_return;
    }

    const QString backup = PlistManager::backupPath(path);
    const QString targetText = target->description();
    std::optional<QString> verificationError;
    try {
        if (verify_(*expectedModule, *target)) {
            debug(verbose, QStringLiteral("Semantic verification result: SUCCESS"));
            debug(verbose, QStringLiteral("Expected module: ") + *expectedModule);
            debug(verbose, QStringLiteral("Target: ") + targetText);
            debug(verbose, QStringLiteral("Semantic verification passed - screensaver correctly applied"));
            debug(verbose, QStringLiteral("writeWithAutoRollback completed"));
            co_return;
        }
        debug(verbose, QStringLiteral("Semantic verification result: FAILED"));
        debug(verbose, QStringLiteral("Expected module: ") + *expectedModule);
        debug(verbose, QStringLiteral("Target: ") + targetText);
        say(QStringLiteral("⚠️ Semantic verification failed - screensaver configuration did not apply correctly"));
        debug(verbose, QStringLiteral("Expected module '%1' not found for target %2").arg(*expectedModule, targetText));
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
        debug(verbose, QStringLiteral("Verification error: ") + *verificationError);
        say(QStringLiteral("🔧 Auto-rolling back..."));
        env_->plist->restore(backup, path); // a second failure reaches the caller
    }
    debug(verbose, QStringLiteral("Restarting WallpaperAgent after rollback..."));
    restartWallpaperAgent(*env_);
    say(QStringLiteral("✅ Auto-rollback completed successfully"));
    debug(verbose, QStringLiteral("writeWithAutoRollback completed"));
    // The change did not take; the caller must not report success.
    throw TessaryError::changeRolledBack();
}

} // namespace quorvel::kit
