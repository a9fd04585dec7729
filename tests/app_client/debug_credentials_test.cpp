#include "app/client/user_defaults.h"
#include "fixture.h"
#include "support/memory_preferences.h"

#include <QSemaphore>
#include <QThread>

#include <atomic>

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

// An en0 lookup that blocks until the main thread's event loop lets it go, noting which thread
// asked: run on the main thread, it could only time out.
class BlockingIdentity final : public platform::MachineIdentity {
public:
    QString machineIdentifier() const override { return {}; }
    std::optional<QString> hardwareAddress(const QString&) const override
    {
        askedOn = QThread::currentThread();
        if (!released.tryAcquire(1, 2000))
            return std::nullopt;
        return QStringLiteral("AA:BB:CC:DD:EE:FF");
    }
    QString shortUserName() const override { return {}; }

    mutable QSemaphore released;
    mutable std::atomic<QThread*> askedOn = nullptr;
};

// Notes the thread of every read: the desktop's secret store answers only on the main thread.
class ThreadNotingStore final : public platform::SecretStore {
public:
    QCoro::Task<platform::SecretReadResult> read(QString service, QString account) override
    {
        readOn = QThread::currentThread();
        co_return co_await inner.read(service, account);
    }
    QCoro::Task<int> remove(QString service, QString account) override { return inner.remove(service, account); }
    QCoro::Task<int> add(QString service, QString account, QByteArray data) override
    {
        return inner.add(service, account, data);
    }

    MemorySecretStore inner;
    QThread* readOn = nullptr;
};

TEST_F(DebugCredentialsTest, TheAddressIsLookedUpOffTheMainThreadAndTheKeychainReadOnIt)
{
    BlockingIdentity blocking;
    ThreadNotingStore store;
    store.inner.items.insert(debugTokenItem, "dev");
    QTimer::singleShot(0, [&] { blocking.released.release(); });
    const auto loaded = await(DebugCredentials::load({ blocking, store, digest }));
    EXPECT_EQ(loaded, std::optional(DebugCredentials { digest, "dev" }));
    EXPECT_NE(blocking.askedOn.load(), QThread::currentThread());
    EXPECT_EQ(store.readOn, QThread::currentThread());
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
