#include "platform/preference_codec.h"

#include <QDataStream>
#include <QDateTime>
#include <QIODevice>

#include <utility>

namespace quorvel::platform::detail {

namespace {
constexpr quint32 kMagic = 0x51505246; // "QPRF"
constexpr quint32 kFormatVersion = 2;
// Deeper nesting than any preference needs; it bounds the reader's recursion on damaged files.
constexpr int kMaxDepth = 64;

// The value kinds the files held. The reader is our own rather than QDataStream's QVariant
// streaming, which trusts the lengths in the file: a damaged file could make it allocate gigabytes
// before failing.
enum class Kind : quint8 { Invalid, Bool, Int, UInt, LongLong, ULongLong, Double, String, Bytes, DateTime, List, Map };

// Every length is checked against the bytes that remain before anything is allocated for it.
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

bool isLegacyPreferenceFile(const QByteArray& bytes)
{
    Reader reader(bytes);
    return reader.fixed<quint32>() == kMagic;
}

std::optional<QVariantMap> decodeLegacyPreferenceFile(const QByteArray& bytes)
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

} // namespace quorvel::platform::detail
