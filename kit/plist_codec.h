#pragma once
// Property-list bytes <-> QVariant values over libplist's C API. Types survive a round trip:
// integers stay qint64 (an 8-byte integer is signed), reals double, booleans bool, strings
// QString, dates QDateTime (UTC, millisecond precision), data QByteArray, arrays QVariantList,
// dictionaries QVariantMap, keyed-archive references PlistUid.

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

namespace quorvel::kit {

struct PlistUid {
    quint64 value = 0;
    bool operator==(const PlistUid&) const = default;
};

struct PlistParseResult {
    std::optional<QVariant> value; // none when the bytes are not a property list
    QString error; // why, when value is none
};

// Binary or XML, whichever the bytes are. Never crashes on hostile bytes; nesting deeper than
// kMaxDepth is refused rather than recursed into.
PlistParseResult parsePlist(const QByteArray& bytes);
inline constexpr int kMaxPlistDepth = 256;

struct PlistSerializeResult {
    std::optional<QByteArray> bytes;
    QString error; // names the value that cannot be a property-list value
};

// The binary property-list form. Dictionary keys are written in sorted order (QVariantMap's),
// which is also what common writers do for a dictionary, so the bytes are the canonical ones.
PlistSerializeResult serializeBinaryPlist(const QVariant& value);
PlistSerializeResult serializeXmlPlist(const QVariant& value);

} // namespace quorvel::kit

Q_DECLARE_METATYPE(quorvel::kit::PlistUid)
