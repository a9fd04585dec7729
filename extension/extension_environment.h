#pragma once
// The process-wide objects of the extension, created once by the principal and handed to every
// view; tests build their own with doubles.

#include "extension/clip_cache.h"
#include "platform/clock.h"
#include "platform/display_power.h"
#include "platform/machine_identity.h"
#include "platform/media_player.h"
#include "platform/network_cost.h"
#include "platform/power_source.h"
#include "platform/preferences.h"
#include "platform/workspace.h"

#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>

namespace quorvel::extension {

struct ExtensionEnvironment {
    // The shared session: one per process.
    std::shared_ptr<QNetworkAccessManager> network;
    std::shared_ptr<platform::Preferences> preferences;
    std::shared_ptr<platform::Workspace> workspace;
    platform::MediaPlayerFactory makePlayer;
    std::shared_ptr<platform::Clock> clock;
    std::shared_ptr<platform::Sleeper> sleeper;
    std::shared_ptr<platform::MachineIdentity> machineIdentity;
    // None counts as a display that is on, an unmetered connection and mains power.
    std::shared_ptr<platform::DisplayPower> displayPower;
    std::shared_ptr<platform::NetworkCost> networkCost;
    std::shared_ptr<platform::PowerSource> powerSource;
    // Without a trailing slash.
    QString serviceBaseUrl;
    QString cacheDirectory;
    // The clip shipped inside the bundle.
    QUrl sampleClipURL;
    std::chrono::milliseconds feedTimeout { 8000 };
    // Resets whenever bytes arrive, so only a stalled server hits it, never a slow large clip.
    std::chrono::milliseconds clipStallTimeout { 60000 };
    std::chrono::milliseconds failureBackoff { 30000 };
    // Over `cacheDirectory`, shared by every view of the process.
    std::shared_ptr<ClipCache> clipCache;
};

} // namespace quorvel::extension
