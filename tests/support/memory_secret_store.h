#pragma once
// An in-memory secret store with the keychain's semantics: add never overwrites, delete-then-add replaces.

#include "platform/secret_store.h"

#include <QMap>
#include <QPair>

namespace quorvel::testing {

class MemorySecretStore final : public platform::SecretStore {
public:
    QCoro::Task<platform::SecretReadResult> read(QString service, QString account) override
    {
        ++reads;
        if (failEverything)
            co_return platform::SecretReadResult { platform::secret_status::unavailable, {} };
        const auto it = items.find({ service, account });
        if (it == items.end())
            co_return platform::SecretReadResult { platform::secret_status::itemNotFound, {} };
        co_return platform::SecretReadResult { platform::secret_status::success, it.value() };
    }

    QCoro::Task<int> remove(QString service, QString account) override
    {
        if (failEverything)
            co_return platform::secret_status::unavailable;
        co_return items.remove({ service, account }) > 0 ? platform::secret_status::success
                                                         : platform::secret_status::itemNotFound;
    }

    QCoro::Task<int> add(QString service, QString account, QByteArray data) override
    {
        if (failEverything || failAdds)
            co_return platform::secret_status::unavailable;
        if (items.contains({ service, account }))
            co_return platform::secret_status::duplicateItem;
        items.insert({ service, account }, data);
        co_return platform::secret_status::success;
    }

    QMap<QPair<QString, QString>, QByteArray> items;
    bool failEverything = false;
    bool failAdds = false;
    int reads = 0;
};

} // namespace quorvel::testing
