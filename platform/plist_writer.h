#pragma once
// The one writer of property-list bytes, the counterpart of plist_reader.h: what it writes reads
// back with the same types (integers as qint64, reals double, booleans bool, strings QString, dates
// QDateTime, data QByteArray, arrays QVariantList, dictionaries QVariantMap, PlistUid). The XML form
// keeps dates to the second; the binary form to the microsecond.

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace quorvel::platform {

struct PlistWriteResult {
    std::optional<QByteArray> bytes;
    QString error; // names the value that cannot be a property-list value
};

// Dictionary keys are written in sorted order (QVariantMap's), which is also what common writers
// do for a dictionary, so the bytes are the canonical ones. Text or keys holding a NUL, nesting
// deeper than the reader accepts and values of other types are refused, never cut or guessed.
PlistWriteResult writeBinaryPlist(const QVariant& value);
PlistWriteResult writeXmlPlist(const QVariant& value);

} // namespace quorvel::platform
