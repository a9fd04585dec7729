#pragma once
// The outcome of every authorized service call: a response, or one user-facing failure text.

#include "app/client/http_exchange.h"

#include <QString>

#include <optional>
#include <variant>

namespace quorvel::app {

namespace texts {
inline const QString cannotReach = QStringLiteral("Couldn't reach Quorvel. Please try again.");
inline const QString cannotEnroll
    = QStringLiteral("Couldn't set up this Mac with Quorvel. Check your connection and try again.");
inline const QString cannotSaveCredentials
    = QStringLiteral("Quorvel couldn't securely save its credentials. Please try again.");
inline const QString cannotVerify = QStringLiteral("Quorvel couldn't verify this Mac. Please try again in a moment.");
inline const QString updateRequired = QStringLiteral(
    "A required Quorvel update is available. Please update to keep creating - an older version can't be used after "
    "this security update.");
} // namespace texts

class AuthorizedResult {
public:
    // Containers and coroutine results need a default; it is the harmless "unreachable" failure.
    AuthorizedResult()
        : value_(texts::cannotReach)
    {
    }
    static AuthorizedResult response(qint64 status, QByteArray body)
    {
        return AuthorizedResult(HttpResponse { status, std::move(body) });
    }
    static AuthorizedResult failure(QString text) { return AuthorizedResult(std::move(text)); }

    bool isResponse() const { return std::holds_alternative<HttpResponse>(value_); }
    // Only meaningful for a response.
    qint64 status() const { return isResponse() ? std::get<HttpResponse>(value_).status : 0; }
    QByteArray body() const { return isResponse() ? std::get<HttpResponse>(value_).body : QByteArray(); }
    // The user-facing text of a failure; none for a response.
    std::optional<QString> failure() const
    {
        if (isResponse())
            return std::nullopt;
        return std::get<QString>(value_);
    }

    bool operator==(const AuthorizedResult&) const = default;

private:
    explicit AuthorizedResult(std::variant<HttpResponse, QString> value)
        : value_(std::move(value))
    {
    }
    std::variant<HttpResponse, QString> value_;
};

} // namespace quorvel::app
