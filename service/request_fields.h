#pragma once
// Reading request bodies and fields; every failure throws the ApiError the client should see.

#include "service/http_types.h"

#include <QJsonObject>

namespace quorvel::service {

// The body as a JSON object; BadJson when it is not one.
QJsonObject jsonBody(const Request& request);
// A string field; BadRequest when missing, not a string, or longer than `maxLength`.
QString stringField(const QJsonObject& object, const QString& key, qsizetype maxLength = 4096);
// A boolean field; `fallback` when absent, BadRequest when of another type.
bool boolField(const QJsonObject& object, const QString& key, bool fallback);
// A query value; BadRequest when absent or empty.
QString requiredQuery(const Request& request, const QString& key);

} // namespace quorvel::service
