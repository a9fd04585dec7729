#include "kit/errors.h"
#include "kit/plist_codec.h"
#include "kit/plist_manager.h"
#include "kit_fixtures.h"
#include "support/files.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using namespace Qt::StringLiterals;
using quorvel::kit::fixtures::realisticStore;

namespace {

const QList<fixtures::MonitorSpec> kTwoMonitors = {
    { u"37D8832A-2D66-02CA-B9F7-8F30A301B230"_s,
        { u"0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F0001"_s, u"0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F0002"_s } },
    { u"9C1E2A77-8B3D-4C5E-A1F2-0D3E4F5A6B7C"_s, { u"0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F0003"_s } },
};

} // namespace

TEST(PlistCodec, ValuesKeepTheirTypesAndARealisticStoreRoundTripsByteForByte)
{
    const QVariantMap input {
        { u"int"_s, qint64(42) },
        { u"negative"_s, qint64(-9000000000LL) },
        { u"real"_s, 2.5 },
        { u"wholeReal"_s, 3.0 },
        { u"bool"_s, true },
        { u"string"_s, u"héllo · — …"_s },
        { u"date"_s, fixtures::fixedDate().addMSecs(250) }, // the binary form keeps milliseconds
        { u"data"_s, QByteArray("\x00\xff\x10", 3) },
        { u"emptyData"_s, QByteArray() },
        { u"array"_s, QVariantList { qint64(1), u"two"_s, QVariantMap {} } },
        { u"uid"_s, QVariant::fromValue(PlistUid { 7 }) },
    };
    const QVariantMap output = parsePlist(fixtures::binary(input)).value.value().toMap();
    // Equality alone would let 42 come back as a double or 3.0 as an integer.
    const std::vector<std::pair<const char*, QMetaType::Type>> types = { { "int", QMetaType::LongLong },
        { "wholeReal", QMetaType::Double }, { "bool", QMetaType::Bool }, { "date", QMetaType::QDateTime },
        { "data", QMetaType::QByteArray }, { "emptyData", QMetaType::QByteArray } };
    for (const auto& [key, type] : types)
        EXPECT_EQ(output.value(QString::fromUtf8(key)).typeId(), type) << key;
    EXPECT_EQ(output.value(u"uid"_s).value<PlistUid>(), PlistUid { 7 });
    EXPECT_EQ(output, input);

    const QVariantMap store = realisticStore(kTwoMonitors, u"file:///Library/Screen%20Savers/Flurry.saver"_s);
    const QByteArray first = fixtures::binary(store);
    const QVariant reread = parsePlist(first).value.value();
    EXPECT_EQ(reread.toMap(), store);
    EXPECT_EQ(*serializeBinaryPlist(reread).bytes, first);
}

TEST(PlistCodec, XmlInputIsAcceptedAndValuesAreTheSame)
{
    const QVariantMap store = realisticStore(kTwoMonitors);
    const auto xml = serializeXmlPlist(store);
    ASSERT_TRUE(xml.bytes && xml.bytes->startsWith("<?xml"));
    EXPECT_EQ(parsePlist(*xml.bytes).value.value(), store);
}

// Writing refuses what is no property-list value, and text the library would truncate at a NUL.
TEST(PlistCodec, ValuesThatCannotBeWrittenFaithfullyAreRefused)
{
    const std::vector<std::pair<const char*, QVariantMap>> rows = {
        { "a point", { { u"point"_s, QPoint(1, 2) } } },
        { "an invalid value", { { u"nothing"_s, QVariant() } } },
        { "NUL inside a string", { { u"k"_s, QString::fromUtf8("x\0y", 3) } } },
        { "NUL inside a key", { { QString::fromUtf8("a\0b", 3), qint64(1) } } },
    };
    for (const auto& [name, map] : rows)
        EXPECT_FALSE(serializeBinaryPlist(map).bytes) << name;
    EXPECT_TRUE(serializeBinaryPlist(rows[0].second).error.contains(u"QPoint"_s));
}

TEST(PlistCodec, HostileBytesGiveAnErrorNeverACrash)
{
    const QByteArray good = fixtures::binary(realisticStore(kTwoMonitors));
    auto withTrailer = [&](int offsetInTrailer, const QByteArray& patch) {
        QByteArray b = good;
        return b.replace(b.size() - 32 + offsetInTrailer, patch.size(), patch);
    };
    struct Row {
        const char* name;
        QByteArray bytes;
        bool mustFail;
    };
    const std::vector<Row> rows = {
        // Cycles, depth, NULs and empty documents are the platform reader's own cases.
        { "garbage", QByteArray("not a property list at all"), true },
        { "offset size zero", withTrailer(6, QByteArray("\x00", 1)), false },
        { "reference size zero", withTrailer(7, QByteArray("\x00", 1)), false },
        { "offset size nine", withTrailer(6, QByteArray("\x09", 1)), false },
        { "unclosed xml",
            QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><array><integer>1"), false },
        { "xml with entity bomb",
            QByteArray("<?xml version=\"1.0\"?><!DOCTYPE p [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
                       "\"&a;&a;&a;&a;&a;&a;&a;&a;\">]><plist><string>&b;&b;&b;</string></plist>"),
            false },
    };
    for (const Row& row : rows) {
        const auto result = parsePlist(row.bytes);
        EXPECT_TRUE(!row.mustFail || !result.value) << row.name;
        EXPECT_TRUE(result.value || !result.error.isEmpty()) << row.name;
    }

    // Every truncation and every single-byte corruption of a real store (enormous counts and offsets among them).
    for (qsizetype length = 0; length < good.size(); ++length)
        (void)parsePlist(good.left(length));
    for (qsizetype i = 0; i < good.size(); ++i) {
        QByteArray bad = good;
        bad[i] = char(bad[i] ^ 0xff);
        (void)parsePlist(bad);
    }
}

// Wide stores read back, and the writer never makes a store the reader would refuse as too deep.
TEST(PlistCodec, WritesStayReadable)
{
    QTemporaryDir dir;
    const PlistManager plist;
    QVariantMap wide;
    for (int i = 0; i < 20000; ++i)
        wide.insert(u"key %1"_s.arg(i), QVariantList { qint64(i), u"\t\n\x01 control"_s });
    plist.write(wide, dir.filePath(u"wide.plist"_s));
    EXPECT_EQ(plist.read(dir.filePath(u"wide.plist"_s)), wide);

    auto nested = [](int depth) {
        QVariant value = QVariantList {};
        for (int i = 1; i < depth; ++i)
            value = QVariantList { value };
        return value;
    };
    const auto deepest = serializeBinaryPlist(nested(kMaxPlistDepth));
    ASSERT_TRUE(deepest.bytes);
    EXPECT_EQ(parsePlist(*deepest.bytes).value, nested(kMaxPlistDepth));
    EXPECT_EQ(serializeBinaryPlist(nested(kMaxPlistDepth + 1)).error, u"nesting too deep"_s);
}

// An independent reader and writer: plistlib numbers a dictionary's keys before its values and
// shares more equal objects, so its bytes differ; each must read the other's file to equal values.
TEST(PlistCodec, PythonsPlistlibAndWeReadEachOthersFiles)
{
    QTemporaryDir dir;
    auto save = [&](const QString& name, const QVariantMap& map) {
        return quorvel::testing::writeFile(dir.filePath(name), fixtures::binary(map));
    };
    const auto load = quorvel::testing::readFile;
    const QVariantMap store = realisticStore(kTwoMonitors, u"file:///L/F.saver"_s);
    const QVariantMap flat { { u"a"_s, qint64(-1) }, { u"b"_s, 2.5 }, { u"c"_s, u"text"_s }, { u"d"_s, true },
        { u"e"_s, QByteArray("\x01\x02", 2) }, { u"f"_s, qint64(70000) } };
    const QString ours = save(u"ours.plist"_s, store), oursFlat = save(u"flat.plist"_s, flat);
    const QString theirs = dir.filePath(u"theirs.plist"_s), theirsFlat = dir.filePath(u"theirs-flat.plist"_s);

    const QString python = QStandardPaths::findExecutable(u"python3"_s);
    if (python.isEmpty())
        GTEST_SKIP() << "python3 not installed";
    const QString script = QStringLiteral(
        "import plistlib,sys\n"
        "for src,dst in ((sys.argv[1],sys.argv[2]),(sys.argv[3],sys.argv[4])):\n"
        "    open(dst,'wb').write(plistlib.dumps(plistlib.load(open(src,'rb')),fmt=plistlib.FMT_BINARY))\n");
    ASSERT_EQ(QProcess::execute(python, { u"-c"_s, script, ours, theirs, oursFlat, theirsFlat }), 0);
    EXPECT_EQ(parsePlist(load(theirs)).value.value().toMap(), store);
    EXPECT_EQ(parsePlist(load(theirsFlat)).value.value().toMap(), flat);
}
