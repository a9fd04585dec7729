#include "platform/preference_codec.h"

#include <QDataStream>
#include <QDateTime>
#include <QIODevice>

#include <algorithm>
#include <utility>

namespace quorvel::platform::detail {

namespace {
constexpr quint32 kMagic = 0x51505246; // "QPRF"
constexpr quint32 kFormatVersion = 2;
// Deeper nesting than any preference needs; it bounds the reader's recursion on damaged files.
constexpr int kMaxDepth = 64;

// The value kinds a preference may hold, as property lists know them. The codec is our own rather
// than QDataStream's QVariant streaming, which trusts the lengths in the file: a damaged file could
// make it allocate gigabytes before failing.
enum class Kind : quint8 { Invalid, Bool, Int, UInt, LongLong, ULongLong, Double, String, Bytes, DateTime, List, Map };

std::optional<Kind> kindOf(const QVariant& value)
{
    if (!value.isValid())
        return Kind::Invalid;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return Kind::Bool;
    case QMetaType::Int:
        return Kind::Int;
    case QMetaType::UInt:
        return Kind::UInt;
    case QMetaType::LongLong:
        return Kind::LongLong;
    case QMetaType::ULongLong:
        return Kind::ULongLong;
    case QMetaType::Double:
        return Kind::Double;
    case QMetaType::QString:
        return Kind::String;
    case QMetaType::QByteArray:
        return Kind::Bytes;
    case QMetaType::QDateTime:
        return Kind::DateTime;
    case QMetaType::QVariantList:
        return Kind::List;
    case QMetaType::QVariantMap:
        return Kind::Map;
    default:
        return std::nullopt;
    }
}

bool isStorable(const QVariant& value, int depth = 0)
{
    const auto kind = kindOf(value);
    if (!kind || depth > kMaxDepth)
        return false;
    if (*kind == Kind::List) {
        const QVariantList list = value.toList();
        return std::all_of(list.cbegin(), list.cend(), [depth](const QVariant& v) { return isStorable(v, depth + 1); });
    }
    if (*kind == Kind::Map) {
        const QVariantMap map = value.toMap();
        return std::all_of(map.cbegin(), map.cend(), [depth](const QVariant& v) { return isStorable(v, depth + 1); });
    }
    return true;
}

void writeBlob(QDataStream& out, const QByteArray& bytes)
{
    out << quint32(bytes.size());
    out.writeRawData(bytes.constData(), int(bytes.size()));
}

void writeValue(QDataStream& out, const QVariant& value)
{
    const Kind kind = *kindOf(value);
    out << quint8(kind);
    switch (kind) {
    case Kind::Invalid:
        break;
    case Kind::Bool:
        out << value.toBool();
        break;
    case Kind::Int:
        out << qint32(value.toInt());
        break;
    case Kind::UInt:
        out << quint32(value.toUInt());
        break;
    case Kind::LongLong:
        out << qint64(value.toLongLong());
        break;
    case Kind::ULongLong:
        out << quint64(value.toULongLong());
        break;
    case Kind::Double:
        out << value.toDouble();
        break;
    case Kind::String:
        writeBlob(out, value.toString().toUtf8());
        break;
    case Kind::Bytes:
        writeBlob(out, value.toByteArray());
        break;
    case Kind::DateTime:
        out << qint64(value.toDateTime().toMSecsSinceEpoch());
        break;
    case Kind::List: {
        const QVariantList list = value.toList();
        out << quint32(list.size());
        for (const QVariant& item : list)
            writeValue(out, item);
        break;
    }
    case Kind::Map: {
        const QVariantMap map = value.toMap();
        out << quint32(map.size());
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            writeBlob(out, it.key().toUtf8());
            writeValue(out, it.value());
        }
        break;
    }
    }
}

// Reads what writeValue wrote; every length is checked against the bytes that remain before
// anything is allocated for it.
class Reader {
public:
    explicit Reader(const QByteArray& bytes)
        : bytes_(bytes)
        , in_(bytes)
    {
    }

    template <typename T> std::optional<T> fixed()
    {
        if (remaining() < qint64(sizeof(T)))
            return std::nullopt;
        T value {};
        in_ >> value;
        return in_.status() == QDataStream::Ok ? std::optional<T>(value) : std::nullopt;
    }

    std::optional<QByteArray> blob()
    {
        const auto size = fixed<quint32>();
        if (!size || *size > remaining())
            return std::nullopt;
        QByteArray data(qsizetype(*size), Qt::Uninitialized);
        if (in_.readRawData(data.data(), int(*size)) != int(*size))
            return std::nullopt;
        return data;
    }

    std::optional<QString> text()
    {
        const auto data = blob();
        if (!data)
            return std::nullopt;
        QString decoded = QString::fromUtf8(*data);
        return decoded.toUtf8() == *data ? std::optional<QString>(decoded) : std::nullopt;
    }

    std::optional<QVariant> value(int depth)
    {
        const auto tag = fixed<quint8>();
        if (!tag || depth > kMaxDepth)
            return std::nullopt;
        switch (Kind(*tag)) {
        case Kind::Invalid:
            return QVariant();
        case Kind::Bool:
            return wrap(fixed<bool>());
        case Kind::Int:
            return wrap(fixed<qint32>(), [](qint32 v) { return QVariant(int(v)); });
        case Kind::UInt:
            return wrap(fixed<quint32>(), [](quint32 v) { return QVariant(uint(v)); });
        case Kind::LongLong:
            return wrap(fixed<qint64>(), [](qint64 v) { return QVariant(qlonglong(v)); });
        case Kind::ULongLong:
            return wrap(fixed<quint64>(), [](quint64 v) { return QVariant(qulonglong(v)); });
        case Kind::Double:
            return wrap(fixed<double>());
        case Kind::String:
            return wrap(text());
        case Kind::Bytes:
            return wrap(blob());
        case Kind::DateTime:
            return wrap(
                fixed<qint64>(), [](qint64 ms) { return QVariant(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)); });
        case Kind::List: {
            const auto count = fixed<quint32>();
            if (!count || *count > remaining()) // every item takes at least one byte
                return std::nullopt;
            QVariantList list;
            for (quint32 i = 0; i < *count; ++i) {
                auto item = value(depth + 1);
                if (!item)
                    return std::nullopt;
                list.append(std::move(*item));
            }
            return QVariant(list);
        }
        case Kind::Map: {
            const auto count = fixed<quint32>();
            if (!count || *count > remaining())
                return std::nullopt;
            QVariantMap map;
            for (quint32 i = 0; i < *count; ++i) {
                auto key = text();
                auto item = key ? value(depth + 1) : std::nullopt;
                if (!item)
                    return std::nullopt;
                map.insert(*key, std::move(*item));
            }
            return QVariant(map);
        }
        }
        return std::nullopt;
    }

    bool atEnd() const { return in_.atEnd(); }

private:
    qint64 remaining() const { return bytes_.size() - in_.device()->pos(); }

    template <typename T, typename F = QVariant (*)(T)>
    static std::optional<QVariant> wrap(
        std::optional<T> read, F make = [](T v) { return QVariant::fromValue(v); })
    {
        return read ? std::optional<QVariant>(make(*read)) : std::nullopt;
    }

    const QByteArray& bytes_;
    QDataStream in_;
};

} // namespace

std::optional<QVariantMap> decodePreferenceFile(const QByteArray& bytes)
{
    Reader reader(bytes);
    const auto magic = reader.fixed<quint32>();
    const auto version = reader.fixed<quint32>();
    if (magic != kMagic || version != kFormatVersion)
        return std::nullopt;
    const auto values = reader.value(0);
    if (!values || values->typeId() != QMetaType::QVariantMap || !reader.atEnd())
        return std::nullopt;
    return values->toMap();
}

std::optional<QByteArray> encodePreferenceFile(const QVariantMap& values)
{
    const QVariant root(values);
    if (!isStorable(root))
        return std::nullopt;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kMagic << kFormatVersion;
    writeValue(out, root);
    if (out.status() != QDataStream::Ok)
        return std::nullopt;
    return bytes;
}

} // namespace quorvel::platform::detail
