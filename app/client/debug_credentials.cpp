#include "app/client/debug_credentials.h"

#include "app/client/auth_store.h"
#include "app/client/service_json.h"
#include "app/client/user_defaults.h"
#include "platform/log.h"
#include "platform/machine_identity.h"
#include "platform/secret_store.h"

#include <QCoroFuture>
#include <QCryptographicHash>
#include <QPromise>
#include <QThreadPool>

#include <memory>

namespace quorvel::app {

using platform::LogCategory;

namespace {

// Runs `work` on a pooled thread; the awaiting coroutine resumes on its own thread's event loop.
template <typename T, typename Work> QCoro::Task<T> onWorkerThread(Work work)
{
    auto promise = std::make_shared<QPromise<T>>();
    const QFuture<T> future = promise->future();
    promise->start();
    // Ahead of work queued at the default priority: someone is waiting on this.
    constexpr int userInitiated = 1;
    QThreadPool::globalInstance()->start(
        [promise, work = std::move(work)]() mutable {
            promise->addResult(work());
            promise->finish();
        },
        userInitiated);
    co_return co_await future;
}

} // namespace

QString DebugSources::buildReferenceDigest()
{
    return QStringLiteral(QUORVEL_DEBUG_MACHINE_DIGEST);
}

QString DebugCredentials::machineValue(const QString& hardwareAddress)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(hardwareAddress.toLower().toUtf8(), QCryptographicHash::Sha256).toHex());
}

QCoro::Task<std::optional<DebugCredentials>> DebugCredentials::load(DebugSources sources)
{
    // Enumerating the interfaces and hashing block, so they run off the main thread. The keychain
    // read stays on it: the Secret Service answers through the main thread's event loop, and the
    // read is asynchronous already.
    const platform::MachineIdentity& identity = sources.identity;
    const auto lookUp = [&identity]() -> std::optional<QString> {
        const std::optional<QString> address = identity.hardwareAddress(QStringLiteral("en0"));
        return address ? std::optional(machineValue(*address)) : std::nullopt;
    };
    const std::optional<QString> found = co_await onWorkerThread<std::optional<QString>>(lookUp);
    if (!found) {
        platform::log::error(
            LogCategory::HostApp, QStringLiteral("Debug mode unavailable: no hardware address for en0."));
        co_return std::nullopt;
    }
    const QString machine = *found;
    if (machine != sources.referenceDigest) {
        platform::log::debug(LogCategory::HostApp,
            QStringLiteral("Debug mode unavailable: this Mac isn't the authorized debug machine."));
        co_return std::nullopt;
    }
    const platform::SecretReadResult item = co_await sources.secrets.read(tokenService, tokenAccount);
    if (item.status != platform::secret_status::success) {
        platform::log::error(LogCategory::HostApp,
            QString::asprintf("Debug mode unavailable: keychain lookup failed (OSStatus %d).", item.status));
        co_return std::nullopt;
    }
    const std::optional<QString> token = json::decodeUtf8(item.data);
    if (!token) {
        platform::log::error(
            LogCategory::HostApp, QStringLiteral("Debug mode unavailable: keychain item is not UTF-8 text."));
        co_return std::nullopt;
    }
    co_return DebugCredentials { machine, *token };
}

QCoro::Task<bool> checkDebugAccess(AuthStore& auth, DebugSources sources, platform::PreferenceSuite& defaults)
{
    const std::optional<DebugCredentials> credentials = co_await DebugCredentials::load(sources);
    std::optional<bool> allowed;
    if (!credentials) {
        allowed = false;
    } else {
        const AuthorizedResult result = co_await auth.debugAccess(credentials->machine, credentials->token);
        if (const std::optional<QString> failure = result.failure()) {
            platform::log::error(LogCategory::HostApp,
                QStringLiteral("Debug access check didn't complete; leaving debug mode as-is: ") + *failure);
        } else {
            const std::optional<QJsonObject> reply = json::object(result.body());
            if (result.status() == 200 && reply)
                allowed = json::boolean(*reply, QStringLiteral("allowed"));
            if (!allowed)
                platform::log::error(LogCategory::HostApp,
                    QStringLiteral("Debug access check didn't complete; leaving debug mode as-is."));
        }
    }
    if (allowed == true)
        co_return true;
    if (allowed == false)
        defaults::setDebugMode(defaults, false);
    co_return false;
}

} // namespace quorvel::app
