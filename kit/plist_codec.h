#pragma once
// Property-list bytes <-> QVariant values: reading is the platform's one reader, writing goes over
// libplist's C API. Types survive a round trip: integers stay qint64 (an 8-byte integer is signed),
// reals double, booleans bool, strings QString, dates QDateTime (UTC, millisecond precision), data
// QByteArray, arrays QVariantList, dictionaries QVariantMap, keyed-archive references PlistUid.

#include "platform/plist_reader.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

namespace quorvel::kit {

using PlistUid = platform::PlistUid;
using PlistParseResult = platform::PlistReadResult;

// Binary or XML, whichever the bytes are, through the platform's one reader: never crashes on
// hostile bytes, and nesting deeper than kMaxPlistDepth is refused rather than recursed into.
inline PlistParseResult parsePlist(const QByteArray& bytes)
{
    return platform::readPlist(bytes);
}
inline constexpr int kMaxPlistDepth = platform::kMaxPlistNesting;

struct PlistSerializeResult {
    std::optional<QByteArray> bytes;
    QString error; // names the value that cannot be a property-list value
};

// The binary property-list form. Dictionary keys are written in sorted order (QVariantMap's),
// which is also what common writers do for a dictionary, so the bytes are the canonical ones.
PlistSerializeResult serializeBinaryPlist(const QVariant& value);
PlistSerializeResult serializeXmlPlist(const QVariant& value);

} // namespace quorvel::kit
