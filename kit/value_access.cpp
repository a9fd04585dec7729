#include "kit/value_access.h"

namespace quorvel::kit::value {

bool isInteger(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

std::optional<qint64> integer(const QVariant& v)
{
    if (!isInteger(v))
        return std::nullopt;
    return v.toLongLong();
}

std::optional<double> number(const QVariant& v)
{
    if (isInteger(v))
        return double(v.toLongLong());
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float)
        return v.toDouble();
    return std::nullopt;
}

} // namespace quorvel::kit::value
