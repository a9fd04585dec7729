#include "kit/plist_codec.h"

#include <QDateTime>
#include <QTimeZone>

#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace quorvel::kit {

namespace {

// Owns one libplist tree (freed with its children).
struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Owns a buffer that libplist allocated with malloc.
struct MallocFree {
    void operator()(char* p) const { std::free(p); }
};
using MallocString = std::unique_ptr<char, MallocFree>;

const QDateTime& referenceDate()
{
    static const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return epoch;
}

// libplist 2.2 asserts (aborting the process) in plist_get_key_val when a dictionary key holds an
// embedded NUL, which hostile binary input can contain, and it has no getter for a key's length.
// Its nodes keep their value record at a fixed place (the one plist_get_string_ptr reads for
// strings); read a key's bytes from there, after checking once that the installed library really
// lays nodes out that way. Should the check fail, keys are read through the public getter.
struct NodeValueRecord {
    union {
        char* text;
        uint64_t integer;
    };
    uint64_t length;
    plist_type type;
};

const NodeValueRecord* valueRecord(plist_t node)
{
    return *reinterpret_cast<NodeValueRecord* const*>(static_cast<const char*>(node) + 3 * sizeof(void*));
}

bool keyLayoutHolds()
{
    static const bool holds = [] {
        PlistPtr dict(plist_new_dict());
        plist_dict_set_item(dict.get(), "layout-probe", plist_new_bool(1));
        plist_t key = plist_dict_item_get_key(plist_dict_get_item(dict.get(), "layout-probe"));
        if (!key || plist_get_node_type(key) != PLIST_KEY)
            return false;
        const NodeValueRecord* record = valueRecord(key);
        return record && record->type == PLIST_KEY && record->length == 12 && record->text
            && std::memcmp(record->text, "layout-probe", 12) == 0;
    }();
    return holds;
}

std::optional<QString> keyText(plist_t key)
{
    if (!key || plist_get_node_type(key) != PLIST_KEY)
        return std::nullopt;
    if (keyLayoutHolds()) {
        const NodeValueRecord* record = valueRecord(key);
        if (!record->text || std::strlen(record->text) != record->length)
            return std::nullopt;
        return QString::fromUtf8(record->text, qsizetype(record->length));
    }
    char* raw = nullptr;
    plist_get_key_val(key, &raw);
    MallocString owned(raw);
    return QString::fromUtf8(raw ? raw : "");
}

struct Reader {
    QString error;

    std::optional<QVariant> convert(plist_t node, int depth)
    {
        if (depth > kMaxPlistDepth) {
            error = QStringLiteral("nesting too deep");
            return std::nullopt;
        }
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return QVariant(b != 0);
        }
        case PLIST_UINT: {
            uint64_t v = 0;
            plist_get_uint_val(node, &v);
            // Binary 8-byte integers are signed; libplist hands them over as their bit pattern.
            return QVariant(qint64(v));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return QVariant(d);
        }
        case PLIST_STRING: {
            // The pointer getter takes the stored length; the copying getter aborts on an embedded NUL.
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return QVariant(text ? QString::fromUtf8(text, qsizetype(length)) : QString());
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            return QVariant(bytes ? QByteArray(bytes, qsizetype(length)) : QByteArray());
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return QVariant(referenceDate().addMSecs(qint64(sec) * 1000 + usec / 1000));
        }
        case PLIST_UID: {
            uint64_t v = 0;
            plist_get_uid_val(node, &v);
            return QVariant::fromValue(PlistUid { v });
        }
        case PLIST_ARRAY: {
            QVariantList list;
            const uint32_t n = plist_array_get_size(node);
            list.reserve(n);
            for (uint32_t i = 0; i < n; ++i) {
                plist_t item = plist_array_get_item(node, i);
                if (!item) {
                    error = QStringLiteral("missing array element");
                    return std::nullopt;
                }
                auto value = convert(item, depth + 1);
                if (!value)
                    return std::nullopt;
                list.append(std::move(*value));
            }
            return QVariant(list);
        }
        case PLIST_DICT: {
            QVariantMap map;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                plist_t item = nullptr;
                plist_dict_next_item(node, it, nullptr, &item);
                if (!item)
                    break;
                const std::optional<QString> key = keyText(plist_dict_item_get_key(item));
                if (!key)
                    error = QStringLiteral("a dictionary key is not text");
                auto value = key ? convert(item, depth + 1) : std::nullopt;
                if (!value) {
                    std::free(it);
                    return std::nullopt;
                }
                map.insert(*key, std::move(*value));
            }
            std::free(it);
            return QVariant(map);
        }
        default:
            error = QStringLiteral("unsupported value type");
            return std::nullopt;
        }
    }
};

struct Writer {
    QString error;

    plist_t build(const QVariant& v, int depth)
    {
        if (depth > kMaxPlistDepth) {
            error = QStringLiteral("nesting too deep");
            return nullptr;
        }
        switch (v.typeId()) {
        case QMetaType::Bool:
            return plist_new_bool(v.toBool() ? 1 : 0);
        case QMetaType::Int:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::ULong:
            return plist_new_uint(uint64_t(v.toLongLong()));
        case QMetaType::ULongLong:
            return plist_new_uint(v.toULongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return plist_new_real(v.toDouble());
        case QMetaType::QString: {
            // The library stores text up to its first NUL; refuse rather than truncate.
            const QByteArray text = v.toString().toUtf8();
            if (text.contains('\0')) {
                error = QStringLiteral("text with an embedded NUL character");
                return nullptr;
            }
            return plist_new_string(text.constData());
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = v.toByteArray();
            return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
        }
        case QMetaType::QDateTime: {
            const qint64 ms = referenceDate().msecsTo(v.toDateTime());
            qint64 sec = ms / 1000, rest = ms % 1000;
            if (rest < 0) {
                rest += 1000;
                --sec;
            }
            return plist_new_date(int32_t(sec), int32_t(rest * 1000));
        }
        case QMetaType::QStringList:
        case QMetaType::QVariantList: {
            PlistPtr array(plist_new_array());
            for (const QVariant& item : v.toList()) {
                plist_t child = build(item, depth + 1);
                if (!child)
                    return nullptr;
                plist_array_append_item(array.get(), child);
            }
            return array.release();
        }
        case QMetaType::QVariantMap: {
            PlistPtr dict(plist_new_dict());
            const QVariantMap map = v.toMap();
            for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
                if (it.key().contains(QChar(0))) {
                    error = QStringLiteral("a key with an embedded NUL character");
                    return nullptr;
                }
                plist_t child = build(it.value(), depth + 1);
                if (!child)
                    return nullptr;
                plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), child);
            }
            return dict.release();
        }
        default:
            if (v.canConvert<PlistUid>() && v.metaType() == QMetaType::fromType<PlistUid>())
                return plist_new_uid(v.value<PlistUid>().value);
            error = QStringLiteral("value of type %1 is not a property-list value")
                        .arg(QString::fromLatin1(v.typeName() ? v.typeName() : "invalid"));
            return nullptr;
        }
    }
};

template <typename Emit> PlistSerializeResult serialize(const QVariant& value, Emit write)
{
    Writer writer;
    PlistPtr root(writer.build(value, 0));
    if (!root)
        return { std::nullopt, writer.error };
    char* out = nullptr;
    uint32_t length = 0;
    write(root.get(), &out, &length);
    MallocString owned(out);
    if (!out)
        return { std::nullopt, QStringLiteral("the writer produced nothing") };
    return { QByteArray(out, qsizetype(length)), {} };
}

} // namespace

PlistParseResult parsePlist(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return { std::nullopt, QStringLiteral("empty file") };
    if (bytes.size() > qsizetype(UINT32_MAX / 2))
        return { std::nullopt, QStringLiteral("file too large") };
    plist_t raw = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &raw);
    PlistPtr root(raw);
    if (!root)
        return { std::nullopt, QStringLiteral("not a property list") };
    Reader reader;
    auto value = reader.convert(root.get(), 0);
    if (!value)
        return { std::nullopt, reader.error };
    return { std::move(value), {} };
}

PlistSerializeResult serializeBinaryPlist(const QVariant& value)
{
    return serialize(value, [](plist_t node, char** out, uint32_t* length) { plist_to_bin(node, out, length); });
}

PlistSerializeResult serializeXmlPlist(const QVariant& value)
{
    return serialize(value, [](plist_t node, char** out, uint32_t* length) { plist_to_xml(node, out, length); });
}

} // namespace quorvel::kit
