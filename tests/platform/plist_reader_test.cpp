// The one property-list reader: what reaches the parser and what comes back from it.
#include "platform/plist_reader.h"
#include "platform/plist_shape.h"
#include "support/plist_samples.h"

#include <gtest/gtest.h>

namespace {

using namespace quorvel::platform;
using detail::checkPlistShape;
using detail::PlistShape;
namespace samples = quorvel::testing::plist;

QByteArray nestedXml(const QByteArray& open, const QByteArray& close, int depth, const QByteArray& inner = {})
{
    return samples::xmlDocument(open.repeated(depth) + inner + close.repeated(depth));
}

TEST(PlistShape, NestingIsBoundedWhateverHidesIt)
{
    const int bound = kMaxPlistNesting;
    QList<samples::Object> diamond { { { 1, 2 } }, { { 3 } }, { { 3 } }, { {}, true } };
    QList<samples::Object> twoCycle { { { 1 } }, { { 0 } } };
    QByteArray badWidths = samples::deepBinaryArrays(3);
    badWidths[badWidths.size() - 32 + 7] = 0;
    const struct {
        const char* name;
        QByteArray bytes;
        PlistShape shape;
    } rows[] = {
        { "binary at the bound", samples::deepBinaryArrays(bound), PlistShape::fits },
        { "binary one past the bound", samples::deepBinaryArrays(bound + 1), PlistShape::tooDeep },
        { "binary 100,000 deep", samples::deepBinaryArrays(100000), PlistShape::tooDeep },
        { "xml at the bound", samples::deepXmlArrays(bound), PlistShape::fits },
        { "xml one past the bound", samples::deepXmlArrays(bound + 1), PlistShape::tooDeep },
        { "xml 260,000 deep", samples::deepXmlArrays(260000), PlistShape::tooDeep },
        { "xml dictionaries past the bound", nestedXml("<dict><key>k</key>", "</dict>", bound + 1),
            PlistShape::tooDeep },
        { "an empty array one past the bound", nestedXml("<array>", "</array>", bound, "<array/>"),
            PlistShape::tooDeep },
        { "xml siblings are not nesting",
            samples::xmlDocument("<array>" + QByteArray("<array/><dict></dict>").repeated(5000) + "</array>"),
            PlistShape::fits },
        // Closing tags the parser never sees as markup must not lower the count.
        { "closings inside comments", nestedXml("<array><!-- </array> -->", "</array>", bound + 1),
            PlistShape::tooDeep },
        { "closings inside CDATA", nestedXml("<array><string><![CDATA[</array>]]></string>", "</array>", bound + 1),
            PlistShape::tooDeep },
        { "closings inside quoted attributes", nestedXml("<array a=\"</array>\">", "</array>", bound + 1),
            PlistShape::tooDeep },
        { "a comment holding '>' before closings", nestedXml("<!-- > --><array></foo>", "</array>", bound + 1),
            PlistShape::tooDeep },
        // Container starts inside a quote: a parser that ends the tag at the first '>' sees them all.
        { "openings inside a quoted attribute",
            samples::xmlDocument("<x a=\"" + QByteArray("<array>").repeated(bound + 1) + "\">"
                + QByteArray("</array>").repeated(bound + 1)),
            PlistShape::tooDeep },
        { "upper-case tags", nestedXml("<ARRAY>", "</ARRAY>", bound + 1), PlistShape::tooDeep },
        { "binary diamond: shared, not circular", samples::binary(diamond), PlistShape::fits },
        { "binary 200,000 references to one value", samples::wideBinaryArray(200000), PlistShape::fits },
        { "binary doubling 40 levels", samples::doublingBinaryArrays(40), PlistShape::tooLarge },
        { "binary array inside itself", samples::binary({ { { 0 } } }), PlistShape::malformed },
        { "binary two arrays inside each other", samples::binary(twoCycle), PlistShape::malformed },
        { "binary dangling reference", samples::binary({ { { 7 } } }), PlistShape::malformed },
        { "binary reference width zero", badWidths, PlistShape::malformed },
        { "binary root past the objects", samples::binary({ { {}, true } }, 1), PlistShape::malformed },
        { "binary header only", QByteArray("bplist00"), PlistShape::malformed },
    };
    for (const auto& row : rows)
        EXPECT_EQ(checkPlistShape(row.bytes), row.shape) << row.name;
}

TEST(PlistReader, RefusedShapesAreReadErrorsAndBoundedDocumentsRead)
{
    const struct {
        const char* name;
        QByteArray bytes;
        const char* error;
    } refused[] = {
        { "binary too deep", samples::deepBinaryArrays(100000), "nesting too deep" },
        { "xml too deep", samples::deepXmlArrays(260000), "nesting too deep" },
        { "binary expanding to billions", samples::doublingBinaryArrays(40), "too many values for its size" },
        { "binary circular", samples::binary({ { { 0 } } }), "not a property list" },
        { "empty", QByteArray(), "empty file" },
    };
    for (const auto& row : refused) {
        const PlistReadResult result = readPlist(row.bytes);
        EXPECT_FALSE(result.value) << row.name;
        EXPECT_EQ(result.error, QString::fromUtf8(row.error)) << row.name;
    }

    // The deepest readable document comes back whole, as does a wide one.
    QVariant value = readPlist(samples::deepBinaryArrays(kMaxPlistNesting)).value.value();
    int depth = 0;
    for (; value.typeId() == QMetaType::QVariantList; ++depth)
        value = value.toList().value(0);
    EXPECT_EQ(depth, kMaxPlistNesting);
    const QVariantList wide = readPlist(samples::wideBinaryArray(100000)).value.value().toList();
    ASSERT_EQ(wide.size(), 100000);
    EXPECT_EQ(wide.last(), QVariant(qint64(1)));
}

// The same document with every offset-table entry `width` bytes wide, padded with leading zeros.
QByteArray withOffsetWidth(const QByteArray& document, int width)
{
    auto number = [&](qsizetype at) {
        quint64 value = 0;
        for (int i = 0; i < 8; ++i)
            value = (value << 8) | uchar(document[at + i]);
        return value;
    };
    const qsizetype trailer = document.size() - 32;
    const quint64 count = number(trailer + 8);
    const qsizetype table = qsizetype(number(trailer + 24));
    QByteArray out = document.left(table);
    for (quint64 i = 0; i < count; ++i)
        out += QByteArray(width - 8, '\0') + document.mid(table + qsizetype(i) * 8, 8);
    QByteArray tail = document.mid(trailer);
    tail[6] = char(width);
    return out + tail;
}

// The parser reads an entry wider than 8 bytes as its last 8; so must the check, or it would refuse
// documents the parser reads.
TEST(PlistShape, OffsetEntriesWiderThanEightBytesReadAsTheParserReadsThem)
{
    const QByteArray diamond = samples::binary({ { { 1, 2 } }, { { 3 } }, { { 3 } }, { {}, true } });
    for (const int width : { 9, 12, 62 }) {
        const QByteArray wide = withOffsetWidth(diamond, width);
        EXPECT_EQ(checkPlistShape(wide), PlistShape::fits) << width;
        ASSERT_TRUE(readPlist(wide).value) << width;
        EXPECT_EQ(readPlist(wide).value->toList().size(), 2) << width;
    }
}

TEST(PlistReader, ControlCharactersAreKeptNulsNeverCut)
{
    const QByteArray xml
        = samples::xmlDocument("<dict><key>tab\there&#10;line</key><string>a&#1;b</string>"
                               "<key>CFBundleIdentifier</key><string>com.example\ttab</string></dict>");
    const QVariantMap map = readPlist(xml).value.value().toMap();
    EXPECT_EQ(map.value(QStringLiteral("tab\there\nline")),
        QVariant(QStringLiteral("a\x01"
                                "b")));
    EXPECT_EQ(plistText(map, QStringLiteral("CFBundleIdentifier")), QStringLiteral("com.example\ttab"));

    // bplist00 { "a": "x\0y" }: as UTF-16 text the NUL is kept; as 8-bit text the parser would cut it
    // silently, so the document is refused, as is a key with a NUL and XML with a NUL byte.
    const QByteArray utf16 = QByteArray::fromHex("62706c6973743030d10102516163007800000079080b0d0000000000000101000000"
                                                 "000000000300000000000000000000000000000014");
    const PlistReadResult kept = readPlist(utf16);
    ASSERT_TRUE(kept.value) << kept.error.toStdString();
    EXPECT_EQ(kept.value->toMap().value(QStringLiteral("a")).toString(), QString::fromUtf8("x\0y", 3));
    EXPECT_FALSE(plistText(*kept.value, QStringLiteral("a"))); // no identifier or file name holds a NUL

    const QByteArray ascii = QByteArray::fromHex("62706c6973743030d10102516153780079080b0d00000000000001010000"
                                                 "00000000000300000000000000000000000000000011");
    const QByteArray nulInKey(
        "\x62\x70\x6c\x69\x73\x74\x30\x30\xd1\x01\x02\x53\x61\x00\x62\x53\x78\x00\x79\x08\x0b\x0f\x00\x00\x00\x00\x00"
        "\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x13",
        54);
    for (const QByteArray& bytes : { ascii, nulInKey, samples::xmlDocument(QByteArray("<string>ab\0cd</string>", 22)) })
        EXPECT_EQ(readPlist(bytes).error, QStringLiteral("text with an embedded NUL character"))
            << bytes.toHex().constData();
}

} // namespace
