#include "platform/plist_reader.h"
#include "platform/plist_shape.h"

#include <QDateTime>
#include <QTimeZone>

#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace quorvel::platform {

namespace {

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

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
    const QString text = QString::fromUtf8(raw ? raw : "");
    std::free(raw);
    return text;
}

struct Converter {
    QString error;

    // `depth` counts the containers around `node`.
    std::optional<QVariant> convert(plist_t node, int depth)
    {
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
        case PLIST_ARRAY:
        case PLIST_DICT:
            // The shape check keeps the parser from ever building deeper trees; this is the backstop.
            if (depth + 1 > kMaxPlistNesting) {
                error = QStringLiteral("nesting too deep");
                return std::nullopt;
            }
            return plist_get_node_type(node) == PLIST_ARRAY ? array(node, depth + 1) : dictionary(node, depth + 1);
        default:
            error = QStringLiteral("unsupported value type");
            return std::nullopt;
        }
    }

    std::optional<QVariant> array(plist_t node, int depth)
    {
        QVariantList list;
        list.reserve(plist_array_get_size(node));
        // Walked with an iterator: fetching the i-th item walks the list from its start each time.
        plist_array_iter it = nullptr;
        plist_array_new_iter(node, &it);
        const std::unique_ptr<void, decltype(&std::free)> iterator(it, &std::free);
        for (;;) {
            plist_t item = nullptr;
            plist_array_next_item(node, it, &item);
            if (!item)
                break;
            auto value = convert(item, depth);
            if (!value)
                return std::nullopt;
            list.append(std::move(*value));
        }
        return QVariant(list);
    }

    std::optional<QVariant> dictionary(plist_t node, int depth)
    {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        const std::unique_ptr<void, decltype(&std::free)> iterator(it, &std::free);
        for (;;) {
            plist_t item = nullptr;
            plist_dict_next_item(node, it, nullptr, &item);
            if (!item)
                break;
            const std::optional<QString> key = keyText(plist_dict_item_get_key(item));
            if (!key) {
                error = QStringLiteral("a dictionary key is not text");
                return std::nullopt;
            }
            auto value = convert(item, depth);
            if (!value)
                return std::nullopt;
            map.insert(*key, std::move(*value));
        }
        return QVariant(map);
    }
};

} // namespace

PlistReadResult readPlist(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return { std::nullopt, QStringLiteral("empty file") };
    if (bytes.size() > qsizetype(UINT32_MAX / 2))
        return { std::nullopt, QStringLiteral("file too large") };
    switch (detail::checkPlistShape(bytes)) {
    case detail::PlistShape::fits:
        break;
    case detail::PlistShape::malformed:
        return { std::nullopt, QStringLiteral("not a property list") };
    case detail::PlistShape::tooDeep:
        return { std::nullopt, QStringLiteral("nesting too deep") };
    case detail::PlistShape::tooLarge:
        return { std::nullopt, QStringLiteral("too many values for its size") };
    case detail::PlistShape::textWithNul:
        return { std::nullopt, QStringLiteral("text with an embedded NUL character") };
    }
    plist_t raw = nullptr;
    const auto length = uint32_t(bytes.size());
    // The same test of the form as the shape check's, so both judge the bytes alike.
    if (detail::isBinaryPlist(bytes))
        plist_from_bin(bytes.constData(), length, &raw);
    else
        plist_from_xml(bytes.constData(), length, &raw);
    PlistPtr root(raw);
    if (!root)
        return { std::nullopt, QStringLiteral("not a property list") };
    Converter converter;
    auto value = converter.convert(root.get(), 0);
    if (!value)
        return { std::nullopt, converter.error };
    return { std::move(value), {} };
}

std::optional<QString> plistText(const QVariant& root, const QString& key)
{
    if (root.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariant value = root.toMap().value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    QString text = value.toString();
    if (text.contains(QChar(0)))
        return std::nullopt;
    return text;
}

} // namespace quorvel::platform
