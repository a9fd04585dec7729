// quorvel-service: the local reference web service. Listens on 127.0.0.1 only; with --port 0 the
// chosen port is the first line on stdout, so scripts and tests can find it.
#include "service/asset_generator.h"
#include "service/clip_renderer.h"
#include "service/clock.h"
#include "service/config.h"
#include "service/http_server.h"
#include "service/router.h"
#include "service/service_api.h"
#include "service/store.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

// SIGTERM and SIGINT end the event loop normally, so renders are stopped and the database closed.
void installQuitOnSignal(QCoreApplication& app)
{
    if (::pipe(signalPipe) != 0)
        return;
    struct sigaction action { };
    action.sa_handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
}

} // namespace

int main(int argc, char** argv)
{
    using namespace quorvel::service;
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("quorvel-service"));

    const auto parsed = parseArguments(app.arguments());
    if (const auto* message = std::get_if<QString>(&parsed)) {
        std::fprintf(stderr, "%s\n", qPrintable(*message));
        return message->startsWith(QLatin1String("Usage")) ? 0 : 2;
    }
    ServiceConfig config = std::get<ServiceConfig>(parsed);
    const QString data = QDir(config.dataDir).absolutePath();
    const QString assets = data + QStringLiteral("/assets");
    QString error;
    if (!QDir().mkpath(data) || !ensureAssets(assets, &error)) {
        std::fprintf(stderr, "quorvel-service: can't prepare %s: %s\n", qPrintable(data), qPrintable(error));
        return 1;
    }

    try {
        SystemServiceClock clock;
        Store store(data + QStringLiteral("/quorvel.sqlite"));
        ClipRenderer renderer(config.ffmpegPath, data + QStringLiteral("/clips"), data + QStringLiteral("/work"));
        Router router;
        HttpServer server([&router](const Request& request, const Reply& reply) { router.dispatch(request, reply); });

        // Headers and a body at the limit fit; anything much larger is cut off before it is buffered.
        auto* tcp = new GuardedTcpServer(kMaxBodyBytes + 16 * 1024, &server);
        if (!tcp->listen(QHostAddress::LocalHost, config.port)) {
            std::fprintf(stderr, "quorvel-service: can't listen on 127.0.0.1:%u: %s\n", config.port,
                qPrintable(tcp->errorString()));
            return 1;
        }
        server.bind(tcp);
        const quint16 port = tcp->serverPort();
        if (config.publicUrl.isEmpty())
            config.publicUrl = QStringLiteral("http://127.0.0.1:%1").arg(port);

        ServiceApi api(config, store, renderer, clock, assets);
        api.install(router);
        api.resumePendingRenders();

        std::printf("%u\n", port);
        std::fflush(stdout);
        std::fprintf(stderr, "quorvel-service: listening on http://127.0.0.1:%u, data in %s%s\n", port,
            qPrintable(data), config.instant ? " (instant jobs)" : "");
        installQuitOnSignal(app);
        return app.exec();
    } catch (const ApiError& failure) {
        std::fprintf(stderr, "quorvel-service: %s\n", qPrintable(failure.message));
        return 1;
    }
}
