#pragma once
// A library screen wired to a loopback server (or the reference service) through a real
// AuthStore whose token is already stored, so every call is one request.

#include "app/client/auth_store.h"
#include "app/library/library_view.h"
#include "support/coro.h"
#include "support/fake_platform.h"
#include "support/log_capture.h"
#include "support/loopback_http_server.h"
#include "support/memory_secret_store.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace quorvel::testing {

inline CannedReply reply(int status, QByteArray body, CannedReply::Mode mode = CannedReply::Mode::Whole)
{
    return CannedReply { status, {}, std::move(body), mode };
}

inline QJsonObject bodyOf(const ReceivedRequest& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

// One history entry as the service sends it.
inline QByteArray entry(const QString& url, const QString& title = {}, bool approved = false)
{
    return QJsonDocument(QJsonObject { { "url", url }, { "title", title }, { "style", "noir" }, { "tier", "lite" },
                             { "soundscape", "none" }, { "approved", approved } })
        .toJson(QJsonDocument::Compact);
}
inline QByteArray history(const QList<QByteArray>& entries)
{
    return "{\"videos\":[" + entries.join(',') + "]}";
}

struct LibraryFixture : ::testing::Test {
    LibraryFixture() { secrets.items.insert({ "com.quorvel.api-token", "machine" }, "tok"); }
    app::ServiceConfig config() const
    {
        app::ServiceConfig config { server.url().toString() };
        config.requestTimeout = std::chrono::milliseconds(300);
        return config;
    }
    std::vector<library::LibraryItem> loaded(library::LibraryView& view)
    {
        await(view.loadHistory());
        return { view.items().begin(), view.items().end() };
    }

    LoopbackHttpServer server;
    QNetworkAccessManager session;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    app::AuthStore auth { session, secrets, identity, system, config() };
    library::LibraryView view { auth };
};

} // namespace quorvel::testing
