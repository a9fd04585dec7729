#pragma once
// Property-list documents built byte by byte, for shapes no writer produces: nesting far past any
// bound, containers shared or referencing themselves, arrays of every width.

#include <QByteArray>
#include <QList>

namespace quorvel::testing::plist {

// One binary object: an array of references to other objects, or a one-byte integer.
struct Object {
    QList<quint32> refs;
    bool integer = false;
};

// The binary form with 4-byte references and 8-byte offsets; `root` indexes `objects`.
inline QByteArray binary(const QList<Object>& objects, quint64 root = 0)
{
    auto bigEndian = [](QByteArray* out, quint64 value, int width) {
        for (int i = width - 1; i >= 0; --i)
            out->append(char((value >> (8 * i)) & 0xFF));
    };
    QByteArray out("bplist00");
    QList<quint64> offsets;
    for (const Object& object : objects) {
        offsets.append(quint64(out.size()));
        if (object.integer) {
            out.append(char(0x10)).append(char(1));
            continue;
        }
        if (object.refs.size() < 15) {
            out.append(char(0xA0 | object.refs.size()));
        } else {
            out.append(char(0xAF)).append(char(0x12));
            bigEndian(&out, quint64(object.refs.size()), 4);
        }
        for (quint32 ref : object.refs)
            bigEndian(&out, ref, 4);
    }
    const quint64 table = quint64(out.size());
    for (quint64 offset : offsets)
        bigEndian(&out, offset, 8);
    out.append(QByteArray(6, '\0')).append(char(8)).append(char(4));
    bigEndian(&out, quint64(objects.size()), 8);
    bigEndian(&out, root, 8);
    bigEndian(&out, table, 8);
    return out;
}

// `depth` arrays inside each other, the innermost empty.
inline QByteArray deepBinaryArrays(int depth)
{
    QList<Object> objects(depth);
    for (int i = 0; i + 1 < depth; ++i)
        objects[i].refs = { quint32(i + 1) };
    return binary(objects);
}

inline QByteArray xmlDocument(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">"
        + body + "</plist>\n";
}

inline QByteArray deepXmlArrays(int depth)
{
    return xmlDocument(QByteArray("<array>").repeated(depth) + QByteArray("</array>").repeated(depth));
}

// `levels` arrays, each holding the next one twice: tiny bytes, 2^levels values once expanded.
inline QByteArray doublingBinaryArrays(int levels)
{
    QList<Object> objects(levels + 1);
    for (int i = 0; i < levels; ++i)
        objects[i].refs = { quint32(i + 1), quint32(i + 1) };
    objects[levels].integer = true;
    return binary(objects);
}

// One array of `width` references to a single shared integer.
inline QByteArray wideBinaryArray(int width)
{
    return binary({ Object { QList<quint32>(width, 1u) }, Object { {}, true } });
}

// { key: value } in the binary form with the value as UTF-16 text, the one form in which the
// parser keeps a NUL inside text. Key and value stay under 256 characters.
inline QByteArray binaryUtf16Dictionary(const QByteArray& key, const QString& value)
{
    QByteArray objects("\xD1\x01\x02", 3);
    const qsizetype keyAt = 8 + objects.size();
    objects.append(char(0x5F)).append(char(0x10)).append(char(key.size())).append(key);
    const qsizetype valueAt = 8 + objects.size();
    objects.append(char(0x6F)).append(char(0x10)).append(char(value.size()));
    for (const QChar c : value)
        objects.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    QByteArray out = "bplist00" + objects;
    const qsizetype table = out.size();
    out.append(char(8)).append(char(keyAt)).append(char(valueAt));
    out.append(QByteArray(6, '\0')).append(char(1)).append(char(1));
    for (quint64 field : { quint64(3), quint64(0), quint64(table) })
        for (int i = 7; i >= 0; --i)
            out.append(char((field >> (8 * i)) & 0xFF));
    return out;
}

} // namespace quorvel::testing::plist
