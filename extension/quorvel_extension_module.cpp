// The plug-in's entry: the real platform objects, created once per process.
#include "extension/quorvel_extension_module.h"

#include "extension/settings.h"
#include "platform/linux/media_player_qt.h"
#include "platform/locations.h"
#include "platform/module_location.h"

namespace quorvel::extension {

std::unique_ptr<saver::SaverPrincipal> QuorvelExtensionModule::makePrincipal()
{
    auto environment = std::make_shared<ExtensionEnvironment>();
    environment->network = std::make_shared<QNetworkAccessManager>();
    environment->preferences
        = std::make_shared<platform::FilePreferences>(QStringLiteral("com.quorvel.Quorvel.Extension"));
    environment->workspace = std::make_shared<platform::DesktopWorkspace>();
    environment->makePlayer = platform::QtMediaPlayer::factory();
    environment->clock = std::make_shared<platform::SystemClock>();
    environment->sleeper = std::make_shared<platform::TimerSleeper>();
    environment->machineIdentity = std::make_shared<platform::LinuxMachineIdentity>();
    environment->serviceBaseUrl = platform::serviceBaseUrl();
    environment->cacheDirectory = platform::extensionCacheDirectory();
    ClipCacheLimits limits;
    limits.maxCacheBytes = settings::cacheLimitBytes(*environment->preferences);
    environment->clipCache
        = std::make_shared<ClipCache>(environment->cacheDirectory, environment->clipStallTimeout, std::move(limits));
    environment->displayPower = platform::makeDisplayPower();
    environment->networkCost = platform::makeNetworkCost();
    environment->powerSource = platform::makePowerSource();
    environment->sampleClipURL
        = sampleClipURLForLibrary(platform::moduleFilePath(reinterpret_cast<const void*>(&sampleClipURLForLibrary)));
    return std::make_unique<QuorvelExtension>(std::move(environment));
}

} // namespace quorvel::extension
