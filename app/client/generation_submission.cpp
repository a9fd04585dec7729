#include "app/client/generation_submission.h"

#include "app/client/debug_credentials.h"

namespace quorvel::app {

QJsonObject generateBody(const GenerationSubmission& submission, const std::optional<DebugCredentials>& credentials)
{
    QJsonObject body {
        { QStringLiteral("prompt"), submission.prompt },
        { QStringLiteral("style"), submission.style },
        { QStringLiteral("motion"), submission.motion },
        { QStringLiteral("vibe"), submission.vibe },
        { QStringLiteral("lite"), submission.lite },
        { QStringLiteral("handle"), submission.handle },
        { QStringLiteral("soundscape"), QStringLiteral("none") },
        { QStringLiteral("user"), submission.userID },
    };
    if (credentials) {
        body.insert(QStringLiteral("debug"), true);
        body.insert(QStringLiteral("debug_machine"), credentials->machine);
        body.insert(QStringLiteral("debug_token"), credentials->token);
    }
    return body;
}

} // namespace quorvel::app
