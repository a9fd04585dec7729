#pragma once
// Property-list bytes <-> QVariant values, through the platform's one reader and one writer. Types
// survive a round trip: integers stay qint64 (an 8-byte integer is signed), reals double, booleans
// bool, strings QString, dates QDateTime (UTC; millisecond precision in binary, seconds in XML),
// data QByteArray, arrays QVariantList, dictionaries QVariantMap, keyed-archive references PlistUid.

#include "platform/plist_reader.h"
#include "platform/plist_writer.h"

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

using PlistSerializeResult = platform::PlistWriteResult;

// The binary and XML property-list forms, through the platform's one writer.
inline PlistSerializeResult serializeBinaryPlist(const QVariant& value)
{
    return platform::writeBinaryPlist(value);
}
inline PlistSerializeResult serializeXmlPlist(const QVariant& value)
{
    return platform::writeXmlPlist(value);
}

} // namespace quorvel::kit
