#pragma once
// Typed reads of property-list values held in QVariants: a missing or wrongly typed value is absent.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

namespace quorvel::kit::value {

inline bool isMap(const QVariant& v)
{
    return v.typeId() == QMetaType::QVariantMap;
}
inline bool isList(const QVariant& v)
{
    return v.typeId() == QMetaType::QVariantList;
}
inline bool isString(const QVariant& v)
{
    return v.typeId() == QMetaType::QString;
}
inline bool isData(const QVariant& v)
{
    return v.typeId() == QMetaType::QByteArray;
}
inline bool isBool(const QVariant& v)
{
    return v.typeId() == QMetaType::Bool;
}
bool isInteger(const QVariant& v);

inline std::optional<QVariantMap> map(const QVariant& v)
{
    return isMap(v) ? std::optional(v.toMap()) : std::nullopt;
}
inline std::optional<QVariantList> list(const QVariant& v)
{
    return isList(v) ? std::optional(v.toList()) : std::nullopt;
}
inline std::optional<QString> string(const QVariant& v)
{
    return isString(v) ? std::optional(v.toString()) : std::nullopt;
}
inline std::optional<QByteArray> data(const QVariant& v)
{
    return isData(v) ? std::optional(v.toByteArray()) : std::nullopt;
}
inline std::optional<bool> boolean(const QVariant& v)
{
    return isBool(v) ? std::optional(v.toBool()) : std::nullopt;
}
std::optional<qint64> integer(const QVariant& v);
// Integers and reals alike (window-server sizes and the "id64" numbers come as either).
std::optional<double> number(const QVariant& v);

// The map at `key`, or an empty map when missing or not a map.
inline QVariantMap mapOrEmpty(const QVariantMap& m, const QString& key)
{
    return map(m.value(key)).value_or(QVariantMap {});
}

} // namespace quorvel::kit::value
