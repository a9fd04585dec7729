#pragma once
// An in-memory secret store with the keychain's semantics: add never overwrites, delete-then-add replaces.

#include "platform/secret_store.h"

#include <QCoroTimer>
#include <QMap>
#include <QPair>

#include <chrono>
#include <optional>

namespace quorvel::testing {

class MemorySecretStore final : public platform::SecretStore {
public:
    QCoro::Task<platform::SecretReadResult> read(QString service, QString account) override
    {
        co_await settle();
        if (failEverything)
            co_return platform::SecretReadResult { platform::secret_status::unavailable, {} };
        const auto it = items.find({ service, account });
        if (it == items.end())
            co_return platform::SecretReadResult { platform::secret_status::itemNotFound, {} };
        co_return platform::SecretReadResult { platform::secret_status::success, it.value() };
    }

    // Like the desktop's store: looks for the item, then deletes whatever is there by then.
    QCoro::Task<int> remove(QString service, QString account) override
    {
        co_await settle();
        if (failEverything)
            co_return platform::secret_status::unavailable;
        if (!items.contains({ service, account }))
            co_return platform::secret_status::itemNotFound;
        co_await settle();
        items.remove({ service, account });
        co_return platform::secret_status::success;
    }

    // Like the desktop's store: looks for an existing item, then writes.
    QCoro::Task<int> add(QString service, QString account, QByteArray data) override
    {
        co_await settle();
        if (failEverything || failAdds)
            co_return platform::secret_status::unavailable;
        if (items.contains({ service, account }))
            co_return platform::secret_status::duplicateItem;
        co_await settle();
        items.insert({ service, account }, data);
        co_return platform::secret_status::success;
    }

    QMap<QPair<QString, QString>, QByteArray> items;
    bool failEverything = false;
    bool failAdds = false;
    // When set, every step above completes this much later on the event loop, so that
    // overlapping operations interleave as they do against the real asynchronous store.
    // Unset, every operation completes before it returns.
    std::optional<std::chrono::milliseconds> latency;

private:
    QCoro::Task<> settle() const
    {
        if (latency)
            co_await QCoro::sleepFor(*latency);
    }
};

} // namespace quorvel::testing
