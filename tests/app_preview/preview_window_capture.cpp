// Shows the preview or the plans window on its own, with real widgets, the real player and the
// service at $QUORVEL_SERVICE_URL, in a state worth looking at: the preview after a generation
// that was titled and published, with its clip playing; the plans window after a balance read.
// For screenshots (run it under a virtual display); not part of any test run.
//   app_preview_capture preview|published|ready|upgrade
// "preview" saves the title, "published" adds the clip to the community; both start playback.
// "ready" leaves the finished clip unplayed, showing its first frame, and prints when it showed.
#include "app/client/auth_store.h"
#include "app/client/generation_store.h"
#include "app/library/generation_preview_view.h"
#include "app/library/thumbnail_cache.h"
#include "app/library/upgrade_view.h"
#include "platform/clock.h"
#include "platform/linux/frame_grabber_qt.h"
#include "platform/linux/media_player_qt.h"
#include "platform/machine_identity.h"
#include "platform/operating_system.h"
#include "platform/workspace.h"
#include "support/memory_secret_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <cstdio>

using namespace quorvel;

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString window = application.arguments().value(1);
    if (!QStringList { "preview", "published", "ready", "upgrade" }.contains(window)) {
        std::fprintf(stderr, "usage: app_preview_capture preview|published|ready|upgrade\n");
        return 2;
    }
    QNetworkAccessManager network;
    testing::MemorySecretStore secrets;
    platform::LinuxMachineIdentity identity;
    platform::LinuxOperatingSystem system;
    platform::TimerSleeper sleeper;
    platform::DesktopWorkspace workspace;
    app::AuthStore auth(network, secrets, identity, system, app::ServiceConfig::fromPlatform());
    app::GenerationStore generation(auth, app::DebugSources { identity, secrets }, sleeper);
    std::printf("machine %s\n", qPrintable(auth.machineIdentifier()));
    std::fflush(stdout);

    if (window == QLatin1String("upgrade")) {
        auto* view = new library::UpgradeView(new library::UpgradeModel(auth, workspace));
        view->setWindowTitle(QStringLiteral("Upgrade"));
        view->resize(580, 560);
        view->show();
        return application.exec();
    }

    QTemporaryDir thumbnailFolder;
    auto grabber = std::make_shared<platform::QtFrameGrabber>();
    library::ThumbnailCache posters(grabber, thumbnailFolder.path());
    auto* model = new library::GenerationPreviewModel(generation, platform::QtMediaPlayer::factory());
    auto* view = new library::GenerationPreviewView(model, &posters);
    view->setWindowTitle(QStringLiteral("Wumble Preview"));
    view->resize(720, 680);
    view->show();
    const bool publish = window == QLatin1String("published");
    QElapsedTimer sinceClip;
    QObject::connect(&posters, &library::ThumbnailCache::ready, view, [&sinceClip] {
        std::printf("poster after %lld ms\n", sinceClip.elapsed());
        std::fflush(stdout);
    });
    QObject::connect(&model->player(), &platform::MediaPlayer::statusChanged, view, [model] {
        if (model->player().status() == platform::MediaPlayer::ItemStatus::Failed)
            std::printf("player failed: %s\n", qPrintable(model->player().errorText()));
        std::fflush(stdout);
    });
    QObject::connect(&generation, &app::GenerationStore::clipURLChanged, view, [&, model, publish] {
        if (!generation.clipURL())
            return;
        sinceClip.start();
        if (window == QLatin1String("ready"))
            return;
        model->setTitle(QStringLiteral("Tide pools at midnight"));
        QCoro::Task<> sending = publish ? model->publish() : model->saveTitle();
        Q_UNUSED(sending);
        model->player().play();
    });
    generation.start({ QStringLiteral("tide pools glowing under a full moon, crabs dancing"),
        QStringLiteral("synthwave"), QStringLiteral("parallax sway"), QStringLiteral("dreamy"), true,
        QStringLiteral("none"), QStringLiteral("@tidewatcher"), auth.machineIdentifier() });
    return application.exec();
}
