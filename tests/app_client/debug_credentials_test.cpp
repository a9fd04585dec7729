#include "app/client/user_defaults.h"
#include "fixture.h"
#include "support/memory_preferences.h"

namespace quorvel::testing {
namespace {

using app::DebugCredentials;
// SHA-256 of "aa:bb:cc:dd:ee:ff", computed independently.
const QString digest = QStringLiteral("c1582e87c802221899199e286ead9a7ed13eb3b5e3827be6cc149fb82a9e04f7");

class DebugCredentialsTest : public ServiceTest { };

TEST_F(DebugCredentialsTest, LoadYieldsCredentialsOnlyOnTheAuthorizedMachineWithAReadableToken)
{
    const QString notThisMac = QStringLiteral("Debug mode unavailable: this Mac isn't the authorized debug machine.");
    struct Row {
        std::optional<QString> en0;
        QString reference;
        std::optional<QByteArray> item;
        bool keychainDown;
        QString line; // empty: loads
    } rows[] = {
        { "AA:BB:CC:DD:EE:FF", digest, "dev", false, {} },
        { std::nullopt, digest, "dev", false, "Debug mode unavailable: no hardware address for en0." },
        { "11:22:33:44:55:66", digest, "dev", false, notThisMac },
        { "AA:BB:CC:DD:EE:FF", app::DebugSources::buildReferenceDigest(), "dev", false, notThisMac },
        { "AA:BB:CC:DD:EE:FF", digest, std::nullopt, false,
            "Debug mode unavailable: keychain lookup failed (OSStatus -25300)." },
        { "AA:BB:CC:DD:EE:FF", digest, "dev", true,
            "Debug mode unavailable: keychain lookup failed (OSStatus -25291)." },
        { "AA:BB:CC:DD:EE:FF", digest, "\xc3\x28", false, "Debug mode unavailable: keychain item is not UTF-8 text." },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line.toStdString());
        identity.en0 = row.en0;
        secrets.items.clear();
        secrets.failEverything = row.keychainDown;
        if (row.item)
            secrets.items.insert(debugTokenItem, *row.item);
        LogCapture log;
        const auto loaded = await(DebugCredentials::load({ identity, secrets, row.reference }));
        EXPECT_EQ(loaded, row.line.isEmpty() ? std::optional(DebugCredentials { digest, "dev" }) : std::nullopt);
        EXPECT_EQ(secrets.items.value(debugTokenItem, "<gone>"), row.item.value_or("<gone>")) << "load only reads";
        EXPECT_EQ(log.messages(), row.line.isEmpty() ? QStringList() : QStringList { row.line });
    }
}

TEST_F(DebugCredentialsTest, TheAccessCheckKeepsOrClearsTheSwitch)
{
    struct Row {
        const char* name;
        std::optional<Reply> reply; // none: no debug credentials
        bool allowed;
        bool switchAfter;
    } rows[] = {
        { "allowed", json(200, R"({"allowed":true})"), true, true },
        { "denied", json(200, R"({"allowed":false})"), false, false },
        { "no credentials counts as denied", std::nullopt, false, false },
        { "server error leaves it as-is", json(500, R"({"allowed":false})"), false, true },
        { "allowed of the wrong type", json(200, R"({"allowed":"true"})"), false, true },
        { "cut off", cut(R"({"allowed":false,"pad":"xxxx"})"), false, true },
    };
    secrets.items.insert(apiTokenItem, "tok");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryPreferences preferences;
        const auto defaults = preferences.standard();
        app::defaults::setDebugMode(*defaults, true);
        secrets.items.remove(debugTokenItem);
        if (row.reply) {
            secrets.items.insert(debugTokenItem, "dev-token");
            server.queue("/debug-access", *row.reply);
        }
        server.clearRequests();
        LogCapture log;
        EXPECT_EQ(await(app::checkDebugAccess(auth, debugSources(), *defaults)), row.allowed);
        EXPECT_EQ(app::defaults::debugMode(*defaults), row.switchAfter);
        EXPECT_EQ(server.requests().size(), row.reply ? 1 : 0);
        if (row.reply) {
            EXPECT_EQ(bodyOf(server.requests()[0]), QJsonObject({ { "machine", digest }, { "token", "dev-token" } }));
        }
        for (const QString& line : log.messages())
            EXPECT_FALSE(line.contains("dev-token"));
    }
}

} // namespace
} // namespace quorvel::testing
