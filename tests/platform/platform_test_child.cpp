// Child process for the platform tests.
//   declare <runtime-dir> <bundle-id> <bundle-path>: declares itself running, prints "ready", waits for a signal
//   keychain-read <service> <account>: prints the status of one keychain read
#include "platform/secret_store.h"
#include "platform/workspace.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("declare") && args.size() == 5) {
        quorvel::platform::DesktopWorkspace workspace(QStringLiteral("/nonexistent/quorvel-saver"), args.value(2));
        const auto declaration = workspace.declareRunning(args.value(3), args.value(4));
        std::printf("ready\n");
        std::fflush(stdout);
        // Ends only through a signal (the default action leaves the runtime file behind, like a crash would),
        // or after a minute as a safety net for a test that forgot it.
        QTimer::singleShot(60'000, &app, &QCoreApplication::quit);
        return app.exec();
    }
    if (args.value(1) == QLatin1String("keychain-read") && args.size() == 4) {
        quorvel::platform::KeychainSecretStore store;
        bool done = false; // the read may finish before the loop starts
        [&]() -> QCoro::Task<> {
            const auto result = co_await store.read(args.value(2), args.value(3));
            std::printf("%d\n", result.status);
            std::fflush(stdout);
            done = true;
            app.quit();
        }();
        return done ? 0 : app.exec();
    }
    std::fprintf(stderr, "usage: platform_test_child declare DIR ID PATH | keychain-read SERVICE ACCOUNT\n");
    return 2;
}
