#pragma once
// The one error type of the service and its mapping to HTTP statuses and JSON bodies.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace quorvel::service {

struct ApiError {
    enum class Code {
        BadJson, // body is not a JSON object
        BadRequest, // a field is missing, of the wrong type or out of range
        Unauthorized, // missing or unknown bearer token
        Forbidden, // the token belongs to another machine
        DebugDenied, // debug credentials that do not match the configured pair
        NotFound, // unknown path, job or clip
        MethodNotAllowed, // known path, other method
        TooLarge, // body over the limit
        OutOfCredits, // not enough credits for the tier
        UpdateRequired, // client build below the minimum
        RateLimited, // too many calls in the window
        RangeNotSatisfiable,
        Internal,
    };

    Code code;
    QString message;
    std::optional<double> retryAfter; // seconds; only with RateLimited

    static ApiError badRequest(QString message) { return { Code::BadRequest, std::move(message), {} }; }
    static ApiError notFound(QString message) { return { Code::NotFound, std::move(message), {} }; }
};

// HTTP status for an error code (the only place that decides it).
int httpStatus(ApiError::Code code);
// Machine-readable `error` value for an error code.
QString errorKey(ApiError::Code code);
// {"error": key, "message": text[, "retry_after": n]}
QJsonObject errorBody(const ApiError& error);

} // namespace quorvel::service
