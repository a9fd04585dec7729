#include "app/service/debug_credentials.h"
#include "app/service/user_defaults.h"
#include "service_fixture.h"
#include "support/coro.h"
#include "support/log_capture.h"
#include "support/memory_preferences.h"

#include <QJsonDocument>
#include <QRegularExpression>

namespace quorvel::testing {
namespace {

using app::DebugCredentials;

const QPair<QString, QString> debugItem { QStringLiteral("com.quorvel.debug-token"), QStringLiteral("developer") };
// SHA-256 of "aa:bb:cc:dd:ee:ff", computed independently.
const QString fakeMachineDigest = QStringLiteral("c1582e87c802221899199e286ead9a7ed13eb3b5e3827be6cc149fb82a9e04f7");

class DebugCredentialsTest : public ServiceFixture {
protected:
    app::DebugSources sources(const QString& digest = fakeMachineDigest) { return { identity, secrets, digest }; }
};

TEST_F(DebugCredentialsTest, TheMachineValueIsTheDigestOfTheLowerCaseAddress)
{
    EXPECT_EQ(DebugCredentials::machineValue("AA:BB:CC:DD:EE:FF"), fakeMachineDigest);
    EXPECT_EQ(DebugCredentials::machineValue("aa:bb:cc:dd:ee:ff"), fakeMachineDigest);
    const QString stock = app::DebugSources::buildReferenceDigest();
    EXPECT_EQ(stock.size(), 64);
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{64}$").match(stock).hasMatch());
}

TEST_F(DebugCredentialsTest, LoadYieldsCredentialsOnlyOnTheAuthorizedMachineWithAReadableToken)
{
    struct Row {
        const char* name;
        std::optional<QString> en0;
        QString digest;
        std::optional<QByteArray> item;
        bool keychainDown;
        std::optional<DebugCredentials> expected;
        QString line;
        QtMsgType level;
    } rows[] = {
        { "authorized", QStringLiteral("AA:BB:CC:DD:EE:FF"), fakeMachineDigest, QByteArray("dev"), false,
            DebugCredentials { fakeMachineDigest, "dev" }, {}, QtInfoMsg },
        { "no en0", std::nullopt, fakeMachineDigest, QByteArray("dev"), false, std::nullopt,
            "Debug mode unavailable: no hardware address for en0.", QtCriticalMsg },
        { "another machine", QStringLiteral("11:22:33:44:55:66"), fakeMachineDigest, QByteArray("dev"), false,
            std::nullopt, "Debug mode unavailable: this Mac isn't the authorized debug machine.", QtDebugMsg },
        { "stock build matches nobody", QStringLiteral("AA:BB:CC:DD:EE:FF"), app::DebugSources::buildReferenceDigest(),
            QByteArray("dev"), false, std::nullopt,
            "Debug mode unavailable: this Mac isn't the authorized debug machine.", QtDebugMsg },
        { "item missing", QStringLiteral("AA:BB:CC:DD:EE:FF"), fakeMachineDigest, std::nullopt, false, std::nullopt,
            "Debug mode unavailable: keychain lookup failed (OSStatus -25300).", QtCriticalMsg },
        { "keychain unreachable", QStringLiteral("AA:BB:CC:DD:EE:FF"), fakeMachineDigest, QByteArray("dev"), true,
            std::nullopt, "Debug mode unavailable: keychain lookup failed (OSStatus -25291).", QtCriticalMsg },
        { "item not UTF-8", QStringLiteral("AA:BB:CC:DD:EE:FF"), fakeMachineDigest, QByteArray("\xc3\x28"), false,
            std::nullopt, "Debug mode unavailable: keychain item is not UTF-8 text.", QtCriticalMsg },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        identity.en0 = row.en0;
        secrets.items.clear();
        secrets.failEverything = row.keychainDown;
        if (row.item)
            secrets.items.insert(debugItem, *row.item);
        LogCapture log;
        EXPECT_EQ(await(DebugCredentials::load(sources(row.digest))), row.expected);
        EXPECT_EQ(secrets.items.value(debugItem, "<gone>"), row.item.value_or("<gone>")) << "load only reads";
        if (!row.line.isEmpty()) {
            const auto lines = log.lines();
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].message, row.line);
            EXPECT_EQ(lines[0].type, row.level);
        }
    }
}

TEST_F(DebugCredentialsTest, TheAccessCheckKeepsOrClearsTheSwitch)
{
    const QString undecided = QStringLiteral("Debug access check didn't complete; leaving debug mode as-is.");
    struct Row {
        const char* name;
        bool credentials;
        std::optional<FaultReply> reply;
        bool expected;
        bool switchAfter;
        QString line;
    } rows[] = {
        { "allowed", true, FaultReply::json(200, R"({"allowed":true})"), true, true, {} },
        { "denied", true, FaultReply::json(200, R"({"allowed":false})"), false, false, {} },
        { "no credentials counts as denied", false, std::nullopt, false, false, {} },
        { "server error", true, FaultReply::json(500, R"({"allowed":false})"), false, true, undecided },
        { "allowed of the wrong type", true, FaultReply::json(200, R"({"allowed":"true"})"), false, true, undecided },
        { "not JSON", true, FaultReply::json(200, "yes"), false, true, undecided },
        { "cut off", true, FaultReply::cut(R"({"allowed":false,"pad":"xxxx"})"), false, true,
            undecided.chopped(1) + QStringLiteral(": ") + app::texts::cannotReach },
    };
    setStoredToken("tok");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryPreferences preferences;
        const auto defaults = preferences.standard();
        app::defaults::setDebugMode(*defaults, true);
        secrets.items.remove(debugItem);
        if (row.credentials)
            secrets.items.insert(debugItem, "dev-token");
        if (row.reply)
            server.reply("/debug-access", *row.reply);
        server.requests.clear();
        LogCapture log;

        EXPECT_EQ(await(app::checkDebugAccess(auth, sources(), *defaults)), row.expected);
        EXPECT_EQ(app::defaults::debugMode(*defaults), row.switchAfter);
        if (!row.line.isEmpty()) {
            EXPECT_TRUE(log.contains(row.line)) << row.line.toStdString();
        }
        EXPECT_EQ(server.requests.size(), row.credentials ? 1u : 0u);
        if (row.credentials && !server.requests.empty()) {
            EXPECT_EQ(server.requests[0].method, "POST");
            EXPECT_EQ(server.requests[0].path, "/debug-access");
            EXPECT_EQ(QJsonDocument::fromJson(server.requests[0].body).object(),
                QJsonObject({ { "machine", fakeMachineDigest }, { "token", "dev-token" } }));
        }
        for (const QString& line : log.messages())
            EXPECT_FALSE(line.contains("dev-token"));
    }
}

} // namespace
} // namespace quorvel::testing
