#pragma once
// A service client wired to a loopback fault server and in-memory platform doubles.

#include "app/service/auth_store.h"
#include "fakes.h"
#include "fault_server.h"
#include "support/memory_secret_store.h"

#include <QNetworkAccessManager>

#include <gtest/gtest.h>

namespace quorvel::testing {

inline const QPair<QString, QString> apiTokenItem { QStringLiteral("com.quorvel.api-token"),
    QStringLiteral("machine") };

class ServiceFixture : public ::testing::Test {
protected:
    app::ServiceConfig config() const
    {
        app::ServiceConfig config;
        config.baseUrl = server.baseUrl();
        return config;
    }
    void setStoredToken(const QByteArray& token) { secrets.items.insert(apiTokenItem, token); }
    std::optional<QByteArray> storedToken() const
    {
        if (!secrets.items.contains(apiTokenItem))
            return std::nullopt;
        return secrets.items.value(apiTokenItem);
    }
    static QByteArray tokenReply(const QByteArray& token) { return "{\"token\":\"" + token + "\"}"; }

    FaultServer server;
    QNetworkAccessManager session;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    app::AuthStore auth { session, secrets, identity, system, config() };
};

} // namespace quorvel::testing
