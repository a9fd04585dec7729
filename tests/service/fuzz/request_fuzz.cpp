// libFuzzer target: arbitrary request bodies, paths and headers against every route of the
// service, in-process on a throwaway database. Every request must get exactly one answer with a
// real status, and nothing may crash. Build with -DQUORVEL_BUILD_FUZZERS=ON and clang.
#include "service/clip_renderer.h"
#include "service/service_api.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace quorvel::service;

namespace {

struct Harness {
    Harness()
    {
        ServiceConfig config;
        config.debugMachine = "ab";
        config.debugToken = "t";
        config.minBuild = 3;
        config.freeCredits = 1000000;
        config.publicUrl = "http://127.0.0.1:1";
        api = std::make_unique<ServiceApi>(config, store, renderer, clock, dir.path() + "/assets");
        api->install(router);
        store.ensureAccount("M1", 1000000, "2025-01-01");
        store.addToken("tok", "M1");
    }

    QTemporaryDir dir;
    SystemServiceClock clock;
    Store store { dir.path() + "/db.sqlite" };
    // Never started without an event loop beyond the first two; the rest wait in the queue.
    ClipRenderer renderer { "/nonexistent", dir.path() + "/clips", dir.path() + "/work" };
    std::unique_ptr<ServiceApi> api;
    Router router;
};

Harness* harness = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    new QCoreApplication(*argc, *argv);
    harness = new Harness;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    static const char* const routes[][2] = { { "POST", "/enroll" }, { "GET", "/balance?user=M1" },
        { "GET", "/balance?user=" }, { "POST", "/generate" }, { "GET", "/jobs/" }, { "POST", "/vet-prompt" },
        { "PATCH", "/title" }, { "PATCH", "/publish" }, { "GET", "/history?user=M1" }, { "GET", "/feed" },
        { "POST", "/debug-access" }, { "GET", "/cdn/" }, { "GET", "/checkout/monthly?client_reference_id=" },
        { "POST", "/checkout/yearly" }, { "GET", "/appcast.xml" }, { "GET", "/releases/" }, { "DELETE", "/" } };
    const auto& route = routes[data[0] % (sizeof(routes) / sizeof(routes[0]))];
    const uint8_t flags = data[1];
    QByteArray rest(reinterpret_cast<const char*>(data) + 2, static_cast<qsizetype>(size - 2));
    // Up to the first newline: a path suffix and header value; after it: the body.
    const qsizetype newline = rest.indexOf('\n');
    const QByteArray head = newline < 0 ? QByteArray() : rest.left(newline);
    const QByteArray body = newline < 0 ? rest : rest.mid(newline + 1);

    QString path = QString::fromLatin1(route[1]) + (flags & 1 ? QString::fromUtf8(head) : QString());
    const qsizetype question = path.indexOf(QLatin1Char('?'));
    Request request { route[0], path.left(question), QUrlQuery(question < 0 ? QString() : path.mid(question + 1)), {},
        body };
    if (flags & 2)
        request.headers.emplace_back("Authorization", "Bearer tok");
    if (flags & 4)
        request.headers.emplace_back("Range", head);
    if (flags & 8)
        request.headers.emplace_back("X-Quorvel-Build", head);
    if (flags & 16)
        request.method = "HEAD";

    int answers = 0;
    int status = 0;
    harness->router.dispatch(request, Reply([&](const Response& response) {
        ++answers;
        status = response.status;
    }));
    if (answers != 1 || status < 200 || status > 599)
        std::abort();
    return 0;
}
