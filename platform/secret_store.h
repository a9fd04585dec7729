#pragma once
// Generic-password items by service + account, with the keychain's status codes.

#include <QByteArray>
#include <QCoroTask>
#include <QString>

namespace quorvel::platform {

namespace secret_status {
constexpr int success = 0;
constexpr int itemNotFound = -25300; // errSecItemNotFound
constexpr int duplicateItem = -25299; // errSecDuplicateItem: add never overwrites
constexpr int unavailable = -25291; // errSecNotAvailable: no secret store reachable, or any other failure
} // namespace secret_status

struct SecretReadResult {
    int status = secret_status::itemNotFound;
    QByteArray data;
};

class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual QCoro::Task<SecretReadResult> read(QString service, QString account) = 0;
    // Returns a status; deleting a missing item gives itemNotFound.
    virtual QCoro::Task<int> remove(QString service, QString account) = 0;
    // Adds a new item; an existing item with the same service and account gives duplicateItem.
    virtual QCoro::Task<int> add(QString service, QString account, QByteArray data) = 0;
};

// The desktop's Secret Service through qtkeychain. Never falls back to a plain file.
class KeychainSecretStore final : public SecretStore {
public:
    QCoro::Task<SecretReadResult> read(QString service, QString account) override;
    QCoro::Task<int> remove(QString service, QString account) override;
    QCoro::Task<int> add(QString service, QString account, QByteArray data) override;
};

} // namespace quorvel::platform
