#include "platform/plist_writer.h"
#include "platform/plist_reader.h"

#include <QDateTime>
#include <QTimeZone>

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace quorvel::platform {

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

struct Writer {
    QString error;

    // `depth` counts the containers around `v`; nothing deeper than the reader accepts is written.
    plist_t build(const QVariant& v, int depth)
    {
        const bool container = v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList
            || v.typeId() == QMetaType::QVariantMap;
        if (container && depth + 1 > kMaxPlistNesting) {
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

template <typename Emit> PlistWriteResult serialize(const QVariant& value, Emit write)
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

PlistWriteResult writeBinaryPlist(const QVariant& value)
{
    return serialize(value, [](plist_t node, char** out, uint32_t* length) { plist_to_bin(node, out, length); });
}

PlistWriteResult writeXmlPlist(const QVariant& value)
{
    return serialize(value, [](plist_t node, char** out, uint32_t* length) { plist_to_xml(node, out, length); });
}

} // namespace quorvel::platform
