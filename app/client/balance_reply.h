#pragma once
// The credit balance as the balance endpoint reports it, read by the screens that show it.

#include "app/client/authorized_result.h"

#include <QString>

#include <optional>

namespace quorvel::app {

struct BalanceReply {
    // None when missing or not an integer (5.0 counts as 5).
    std::optional<qint64> credits;
    // False when missing or not a boolean.
    bool paid = false;
    // The last reset day ("yyyy-MM-dd") when present as a string.
    std::optional<QString> resets;

    bool operator==(const BalanceReply&) const = default;
};

// "1 wumble credit", "8 wumble credits": the count as every screen words it.
QString creditCountText(qint64 credits);

// The reply of a 200 whose body is a JSON object; none for anything else, so callers keep what
// they showed before.
std::optional<BalanceReply> readBalance(const AuthorizedResult& result);

} // namespace quorvel::app
