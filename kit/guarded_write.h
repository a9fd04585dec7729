#pragma once
// The guarded write: write the store, restart the wallpaper agent, let it settle, check that the
// store names the module for the target, and put the previous store back when it does not. The
// caller holds the store's lock throughout, so no other edit of ours lands between the write, the
// check and the rollback.

#include "kit/kit_environment.h"
#include "kit/managing.h"
#include "kit/records.h"

#include <QCoroTask>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace quorvel::kit {

class GuardedWrite {
public:
    // Whether the store (read afresh) names `expected` for `target`; may throw.
    using Verifier = std::function<bool(const QString& expected, const ScreensaverTarget& target)>;

    GuardedWrite(std::shared_ptr<KitEnvironment> env, Verifier verify);

    // `basis`, when given, is the store's bytes as they were read for this edit; a store replaced
    // since is not overwritten. A completed rollback throws changeRolledBack(); a write
    // failure is thrown before anything is restarted.
    QCoro::Task<> run(QVariantMap store, QString path, WriteOptions options, std::optional<QString> expectedModule,
        std::optional<ScreensaverTarget> target, double settleSeconds, std::optional<QByteArray> basis = {});

    // "killall WallpaperAgent", not awaited: the system starts a fresh agent by itself.
    static void restartWallpaperAgent(const KitEnvironment& env);

private:
    void debug(bool enabled, const QString& line) const;
    void say(const QString& line) const { env_->print(line); }

    std::shared_ptr<KitEnvironment> env_;
    Verifier verify_;
};

} // namespace quorvel::kit
