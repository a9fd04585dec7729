#include "service/api_error.h"

namespace quorvel::service {

int httpStatus(ApiError::Code code)
{
    using C = ApiError::Code;
    switch (code) {
    case C::BadJson:
    case C::BadRequest:
        return 400;
    case C::Unauthorized:
        return 401;
    case C::OutOfCredits:
        return 402;
    case C::Forbidden:
    case C::DebugDenied:
        return 403;
    case C::NotFound:
        return 404;
    case C::MethodNotAllowed:
        return 405;
    case C::TooLarge:
        return 413;
    case C::RangeNotSatisfiable:
        return 416;
    case C::UpdateRequired:
        return 426;
    case C::RateLimited:
        return 429;
    case C::Internal:
        return 500;
    }
    return 500;
}

QString errorKey(ApiError::Code code)
{
    using C = ApiError::Code;
    switch (code) {
    case C::BadJson:
        return QStringLiteral("bad_json");
    case C::BadRequest:
        return QStringLiteral("bad_request");
    case C::Unauthorized:
        return QStringLiteral("unauthorized");
    case C::Forbidden:
        return QStringLiteral("forbidden");
    case C::DebugDenied:
        return QStringLiteral("debug_denied");
    case C::NotFound:
        return QStringLiteral("not_found");
    case C::MethodNotAllowed:
        return QStringLiteral("method_not_allowed");
    case C::TooLarge:
        return QStringLiteral("too_large");
    case C::OutOfCredits:
        return QStringLiteral("out_of_credits");
    // The app recognises this exact value as "update required".
    case C::UpdateRequired:
        return QStringLiteral("update_required");
    case C::RateLimited:
        return QStringLiteral("rate_limited");
    case C::RangeNotSatisfiable:
        return QStringLiteral("range_not_satisfiable");
    case C::Internal:
        return QStringLiteral("internal");
    }
    return QStringLiteral("internal");
}

QJsonObject errorBody(const ApiError& error)
{
    QJsonObject body { { "error", errorKey(error.code) }, { "message", error.message } };
    if (error.retryAfter)
        body.insert("retry_after", *error.retryAfter);
    return body;
}

} // namespace quorvel::service
