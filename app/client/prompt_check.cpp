#include "app/client/prompt_check.h"

#include "app/client/service_json.h"
#include "platform/log.h"

namespace quorvel::app {

namespace {
constexpr double defaultRetrySeconds = 5;
constexpr double longestRetrySeconds = 30;
} // namespace

PromptCheckResult interpretPromptCheck(const AuthorizedResult& result)
{
    using platform::LogCategory;
    if (result.isResponse()) {
        const std::optional<QJsonObject> reply = json::object(result.body());
        if (result.status() == 429) {
            const double asRead = (reply ? json::number(*reply, QStringLiteral("retry_after")) : std::nullopt)
                                      .value_or(defaultRetrySeconds);
            platform::log::debug(
                LogCategory::HostApp, QString::asprintf("Prompt pre-check throttled; retrying in %fs.", asRead));
            // Written so that NaN also lands on 0.
            const double clamped = !(asRead > 0) ? 0 : (asRead > longestRetrySeconds ? longestRetrySeconds : asRead);
            return { PromptCheckResult::Kind::retryAfter, clamped };
        }
        if (result.status() == 200 && reply) {
            const std::optional<bool> checked = json::boolean(*reply, QStringLiteral("checked"));
            const std::optional<bool> ok = json::boolean(*reply, QStringLiteral("ok"));
            if (checked == true && ok)
                return { *ok ? PromptCheckResult::Kind::approved : PromptCheckResult::Kind::rejected, 0 };
        }
    }
    platform::log::error(
        LogCategory::HostApp, QStringLiteral("Prompt pre-check didn't complete; the job's own vetting still applies."));
    return { PromptCheckResult::Kind::notChecked, 0 };
}

} // namespace quorvel::app
