#include "app/client/debug_credentials.h"

#include "app/client/auth_store.h"
#include "app/client/service_json.h"
#include "app/client/user_defaults.h"
#include "platform/log.h"
#include "platform/machine_identity.h"
#include "platform/secret_store.h"

#include <QCryptographicHash>

namespace quorvel::app {

using platform::LogCategory;

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
    const std::optional<QString> address = sources.identity.hardwareAddress(QStringLiteral("en0"));
    if (!address) {
        platform::log::error(
            LogCategory::HostApp, QStringLiteral("Debug mode unavailable: no hardware address for en0."));
        co_return std::nullopt;
    }
    const QString machine = machineValue(*address);
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
