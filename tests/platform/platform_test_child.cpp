// Child process for the platform tests.
//   declare <runtime-dir> <bundle-id> <bundle-path>: declares itself running, prints "ready", waits for a signal
//   keychain-read <service> <account>: prints the status of one keychain read
#include "platform/secret_store.h"
#include "platform/workspace.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

int declare(QCoreApplication& app, const QStringList& args)
{
    quorvel::platform::DesktopWorkspace workspace(QStringLiteral("/nonexistent/quorvel-saver"), args.value(2));
    const auto declaration = workspace.declareRunning(args.value(3), args.value(4));
    std::printf("ready\n");
    std::fflush(stdout);
    // Ends only through a signal (the default action leaves the runtime file behind, like a crash would),
    // or after a minute as a safety net for a test that forgot it.
    QTimer::singleShot(60'000, &app, &QCoreApplication::quit);
    return app.exec();
}

int keychainRead(QCoreApplication& app, const QStringList& args)
{
    quorvel::platform::KeychainSecretStore store;
    int status = 1;
    [&]() -> QCoro::Task<> {
        const auto result = co_await store.read(args.value(2), args.value(3));
        std::printf("%d\n", result.status);
        std::fflush(stdout);
        status = 0;
        app.quit();
    }();
    if (status != 0)
        app.exec();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("declare") && args.size() == 5)
        return declare(app, args);
    if (args.value(1) == QLatin1String("keychain-read") && args.size() == 4)
        return keychainRead(app, args);
    std::fprintf(stderr, "usage: platform_test_child declare DIR ID PATH | keychain-read SERVICE ACCOUNT\n");
    return 2;
}
