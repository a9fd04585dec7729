#pragma once
// The one reader of property-list bytes (XML or binary) for every layer. Types survive: integers
// are qint64 (an 8-byte integer is signed), reals double, booleans bool, strings QString (a NUL
// inside is kept or the document refused, never cut), dates QDateTime (UTC, millisecond precision), data QByteArray,
// arrays QVariantList, dictionaries QVariantMap, keyed-archive references PlistUid.

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <optional>

namespace quorvel::platform {

struct PlistUid {
    quint64 value = 0;
    bool operator==(const PlistUid&) const = default;
};

struct PlistReadResult {
    std::optional<QVariant> value; // none when the bytes are not a readable property list
    QString error; // why, when value is none
};

// Arrays and dictionaries inside each other that a readable document may have, the outermost
// counted; deeper documents are refused before any parser sees them.
inline constexpr int kMaxPlistNesting = 512;

// Never crashes, aborts or runs away on hostile bytes: documents nested deeper than
// kMaxPlistNesting, or that would expand into far more values than they have bytes, are refused
// unparsed. Text the parser would silently cut at a NUL (8-bit binary text, any XML) and
// dictionary keys holding a NUL make the document unreadable; UTF-16 text keeps its NULs.
PlistReadResult readPlist(const QByteArray& bytes);

// The text under `key` of a dictionary; none when `root` is no dictionary, the key is missing,
// or the value is not text or holds a NUL (no identifier, version or file name does).
std::optional<QString> plistText(const QVariant& root, const QString& key);

} // namespace quorvel::platform

Q_DECLARE_METATYPE(quorvel::platform::PlistUid)
