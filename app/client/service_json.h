#pragma once
// Reading service replies: a body is a key/value object or nothing, and a field of the wrong
// type counts as absent, so callers fall back to their documented defaults.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace quorvel::app::json {

// The body as a JSON object; none for anything else (array, scalar, garbage, empty).
std::optional<QJsonObject> object(const QByteArray& body);

std::optional<QString> string(const QJsonObject& object, const QString& key);
// Only JSON true/false; numbers and strings are not booleans.
std::optional<bool> boolean(const QJsonObject& object, const QString& key);
// Any JSON number.
std::optional<double> number(const QJsonObject& object, const QString& key);
// A JSON number with no fractional part that fits 64 bits, so 5 and 5.0 both read as 5;
// 5.5, 1e30 and booleans read as absent.
std::optional<qint64> integer(const QJsonObject& object, const QString& key);

// Compact serialisation of a request body.
QByteArray serialize(const QJsonObject& object);

// Strict UTF-8: none when the bytes contain any invalid sequence.
std::optional<QString> decodeUtf8(const QByteArray& bytes);

} // namespace quorvel::app::json
