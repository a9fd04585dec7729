// Not a test: shows one state of the shell's windows over test doubles, to look at (screenshots).
//   shell_gallery offer|alert|moving|failed|about|preview
#include "app/shell/appearance.h"
#include "app/shell/main_window.h"
#include "app/shell/move_card.h"
#include "app/shell/preview_view.h"
#include "app/shell/quorvel_app.h"
#include "platform/clock.h"
#include "support/fake_platform.h"
#include "support/memory_secret_store.h"
#include "tests/app_shell/shell_doubles.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

using namespace quorvel;

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString state = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("offer");
    platform::TimerSleeper sleeper;
    platform::PortalDesktopAppearance appearance;
    app::followDesktopAppearance(application, appearance);

    if (state == QLatin1String("preview")) {
        app::PreviewView view(sleeper, app::rainbowTitle(QStringLiteral("1.0.0"), QStringLiteral("1")));
        view.setWindowTitle(QStringLiteral("Quorvel Preview"));
        view.resize(900, 560);
        view.show();
        return application.exec();
    }

    QTemporaryDir root;
    QDir().mkpath(root.filePath("Downloads/Quorvel.app/Contents"));
    if (state == QLatin1String("alert") || state == QLatin1String("moving"))
        QDir().mkpath(root.filePath("Applications/Quorvel.app/Contents"));

    QNetworkAccessManager network;
    testing::MemorySecretStore secrets;
    testing::FakeMachineIdentity identity;
    testing::FakeOperatingSystem system;
    system.main
        = platform::BundleInfo { root.filePath("Downloads/Quorvel.app"), "com.quorvel.Quorvel", "1", "1.0.0", {}, {} };
    testing::ManualUpdater updater;
    testing::ScriptedSymbolLoader symbols;
    testing::FaultyFileManager files;
    testing::ShellWorkspace workspace;
    testing::RecordingDesktopEntries entries;
    if (state == QLatin1String("failed"))
        workspace.launchSucceeds = false;
    if (state == QLatin1String("moving")) {
        // An older copy that never quits keeps the move waiting for about four seconds.
        workspace.running << platform::RunningApplication { "com.quorvel.Quorvel",
            root.filePath("Applications/Quorvel.app"), 77 };
        workspace.checksUntilGone = -1;
    }
    app::QuorvelApp quorvel({ network, secrets, identity, system, updater, app::ServiceConfig { "http://127.0.0.1:9" },
        root.filePath("Downloads/Quorvel.app"),
        { symbols, files, workspace, sleeper, entries, { root.filePath("Applications") }, 1, {}, {}, {} } });
    app::MainWindow window(quorvel);
    window.resize(720, 520);
    window.show();
    if (state == QLatin1String("about")) {
        for (QAction* action : window.findChildren<QAction*>())
            if (action->text() == QLatin1String("About Quorvel"))
                action->trigger();
    } else if (state != QLatin1String("offer")) {
        if (auto* card = window.moveCard())
            card->findChild<QPushButton*>()->click();
        if (state == QLatin1String("moving"))
            if (auto* alert = window.moveCard()->replacementAlert())
                for (auto* button : alert->buttons())
                    if (button->accessibleName() == app::texts::replaceButton)
                        button->click();
    }
    return application.exec();
}
