#pragma once
// Developer debug mode: the one authorized machine may run generations that spend no credits.

#include <QCoroTask>
#include <QString>

#include <optional>

namespace quorvel::platform {
class MachineIdentity;
class PreferenceSuite;
class SecretStore;
} // namespace quorvel::platform

namespace quorvel::app {

class AuthStore;

// Where the credentials come from.
struct DebugSources {
    const platform::MachineIdentity& identity;
    platform::SecretStore& secrets;
    // SHA-256 of the authorized machine's address, 64 lowercase hex digits.
    QString referenceDigest = buildReferenceDigest();

    // The digest this build was configured with.
    static QString buildReferenceDigest();
};

struct DebugCredentials {
    static inline const QString tokenService = QStringLiteral("com.quorvel.debug-token");
    static inline const QString tokenAccount = QStringLiteral("developer");

    // SHA-256 of the lower-cased "en0" hardware address, 64 lowercase hex digits.
    QString machine;
    QString token;

    bool operator==(const DebugCredentials&) const = default;

    // Credentials when this is the authorized machine and its token is readable; none otherwise
    // (each reason logged). Only ever reads the keychain item.
    static QCoro::Task<std::optional<DebugCredentials>> load(DebugSources sources);
    // The machine value of a hardware address in text form.
    static QString machineValue(const QString& hardwareAddress);
};

// Asks the service whether this machine's credentials are accepted. True when allowed; when
// denied (or there are no credentials) turns "debugMode" off in `defaults`; when the answer is
// undecided leaves it as it was.
QCoro::Task<bool> checkDebugAccess(AuthStore& auth, DebugSources sources, platform::PreferenceSuite& defaults);

} // namespace quorvel::app
