#pragma once
// The file form of one preference suite: a magic header, a format version, then the values with
// their kinds (booleans, integers of each width, doubles, strings, bytes, dates, lists, maps), so
// every value keeps its type. Lengths in the file are checked against the bytes it has before
// anything is allocated, so a damaged file is refused, never trusted.

#include <QByteArray>
#include <QVariantMap>

#include <optional>

namespace quorvel::platform::detail {

// None when the bytes are not such a file.
std::optional<QVariantMap> decodePreferenceFile(const QByteArray& bytes);
// None when a value has a type a preference cannot hold.
std::optional<QByteArray> encodePreferenceFile(const QVariantMap& values);

} // namespace quorvel::platform::detail
