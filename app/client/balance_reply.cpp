#include "app/client/balance_reply.h"

#include "app/client/service_json.h"

namespace quorvel::app {

QString creditCountText(qint64 credits)
{
    return credits == 1 ? QStringLiteral("1 wumble credit")
                        : QString::number(credits) + QStringLiteral(" wumble credits");
}

std::optional<BalanceReply> readBalance(const AuthorizedResult& result)
{
    if (!result.isResponse() || result.status() != 200)
        return std::nullopt;
    const std::optional<QJsonObject> reply = json::object(result.body());
    if (!reply)
        return std::nullopt;
    return BalanceReply {
        json::integer(*reply, QStringLiteral("credits")),
        json::boolean(*reply, QStringLiteral("paid")).value_or(false),
        json::string(*reply, QStringLiteral("resets")),
    };
}

} // namespace quorvel::app
