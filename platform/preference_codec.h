#pragma once
// The file form preference suites had before they became property lists: a magic header, a format
// version, then the values with their kinds. Such a file is read once, to carry its values over,
// and then rewritten as a property list. Lengths in the file are checked against the bytes it has
// before anything is allocated, so a damaged file is refused, never trusted.

#include <QByteArray>
#include <QVariantMap>

#include <optional>

namespace quorvel::platform::detail {

// The bytes begin like such a file (whether or not the rest of it reads).
bool isLegacyPreferenceFile(const QByteArray& bytes);
// None when the bytes are not such a file.
std::optional<QVariantMap> decodeLegacyPreferenceFile(const QByteArray& bytes);

} // namespace quorvel::platform::detail
