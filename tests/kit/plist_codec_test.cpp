#include "kit/errors.h"
#include "kit/plist_codec.h"
#include "kit/plist_manager.h"
#include "kit_fixtures.h"
#include "support/plist_samples.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using quorvel::kit::fixtures::realisticStore;

namespace {

const QList<fixtures::MonitorSpec> kTwoMonitors = {
    { QStringLiteral("37D8832A-2D66-02CA-B9F7-8F30A301B230"),
        { QStringLiteral("0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F0001"),
            QStringLiteral("0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F0002") } },
    { QStringLiteral("9C1E2A77-8B3D-4C5E-A1F2-0D3E4F5A6B7C"),
        { QStringLiteral("0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F0003") } },
};

} // namespace

TEST(PlistCodec, ValuesKeepTheirTypesAndARealisticStoreRoundTripsByteForByte)
{
    const QVariantMap input {
        { QStringLiteral("int"), qint64(42) },
        { QStringLiteral("negative"), qint64(-9000000000LL) },
        { QStringLiteral("real"), 2.5 },
        { QStringLiteral("wholeReal"), 3.0 },
        { QStringLiteral("bool"), true },
        { QStringLiteral("string"), QStringLiteral("héllo · — …") },
        { QStringLiteral("date"), fixtures::fixedDate().addMSecs(250) }, // the binary form keeps milliseconds
        { QStringLiteral("data"), QByteArray("\x00\xff\x10", 3) },
        { QStringLiteral("emptyData"), QByteArray() },
        { QStringLiteral("array"), QVariantList { qint64(1), QStringLiteral("two"), QVariantMap {} } },
        { QStringLiteral("uid"), QVariant::fromValue(PlistUid { 7 }) },
    };
    const QVariantMap output = parsePlist(fixtures::binary(input)).value.value().toMap();
    // Equality alone would let 42 come back as a double or 3.0 as an integer.
    const std::vector<std::pair<const char*, QMetaType::Type>> types = { { "int", QMetaType::LongLong },
        { "wholeReal", QMetaType::Double }, { "bool", QMetaType::Bool }, { "date", QMetaType::QDateTime },
        { "data", QMetaType::QByteArray }, { "emptyData", QMetaType::QByteArray } };
    for (const auto& [key, type] : types)
        EXPECT_EQ(output.value(QString::fromUtf8(key)).typeId(), type) << key;
    EXPECT_EQ(output.value(QStringLiteral("uid")).value<PlistUid>(), PlistUid { 7 });
    EXPECT_EQ(output, input);

    const QVariantMap store
        = realisticStore(kTwoMonitors, QStringLiteral("file:///Library/Screen%20Savers/Flurry.saver"));
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
        { "a point", { { QStringLiteral("point"), QPoint(1, 2) } } },
        { "an invalid value", { { QStringLiteral("nothing"), QVariant() } } },
        { "NUL inside a string", { { QStringLiteral("k"), QString::fromUtf8("x\0y", 3) } } },
        { "NUL inside a key", { { QString::fromUtf8("a\0b", 3), qint64(1) } } },
    };
    for (const auto& [name, map] : rows)
        EXPECT_FALSE(serializeBinaryPlist(map).bytes) << name;
    EXPECT_TRUE(serializeBinaryPlist(rows[0].second).error.contains(QStringLiteral("QPoint")));
}

TEST(PlistCodec, HostileBytesGiveAnErrorNeverACrash)
{
    const QByteArray good = fixtures::binary(realisticStore(kTwoMonitors));
    auto withTrailer = [&](int offsetInTrailer, const QByteArray& patch) {
        QByteArray b = good;
        return b.replace(b.size() - 32 + offsetInTrailer, patch.size(), patch);
    };
    // bplist00, one array object (0xA1) whose single element references object 0: itself.
    QByteArray selfReference = QByteArray("bplist00\xA1\x00\x08", 11) + QByteArray(32, '\0');
    selfReference[11 + 6] = selfReference[11 + 7] = selfReference[11 + 15]
        = 1; // offset size, reference size, object count
    selfReference[11 + 31] = 10; // offset table
    QByteArray deep("<?xml version=\"1.0\"?><plist version=\"1.0\">");
    deep += QByteArray("<array>").repeated(kMaxPlistDepth + 10) + QByteArray("</array>").repeated(kMaxPlistDepth + 10)
        + "</plist>";
    const QByteArray embeddedNul(
        "\x62\x70\x6c\x69\x73\x74\x30\x30\xd1\x01\x02\x53\x61\x00\x62\x53\x78\x00\x79\x08\x0b\x0f\x00\x00\x00\x00\x00"
        "\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x13",
        54);

    struct Row {
        const char* name;
        QByteArray bytes;
        bool mustFail;
    };
    const std::vector<Row> rows = {
        { "empty", QByteArray(), true },
        { "magic only", QByteArray("bplist00"), true },
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
        { "array containing itself", selfReference, true },
        { "nesting deeper than the limit", deep, true },
        { "key with an embedded NUL", embeddedNul, false },
    };
    for (const Row& row : rows) {
        const auto result = parsePlist(row.bytes);
        EXPECT_TRUE(!row.mustFail || !result.value) << row.name;
        EXPECT_TRUE(result.value || !result.error.isEmpty()) << row.name;
        for (const QString& key : result.value.value_or(QVariant()).toMap().keys())
            EXPECT_FALSE(key.contains(QChar(0))) << row.name; // never a silently cut key
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

// A store nested past any sane depth is an unreadable store, never a crash of the app or the saver
// that reads it; wide stores read, and the writer never makes a store the reader would refuse.
TEST(PlistCodec, DeepStoresAreReadErrorsAndWritesStayReadable)
{
    namespace samples = quorvel::testing::plist;
    QTemporaryDir dir;
    const PlistManager plist;
    auto put = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const QString deepDict = QStringLiteral("<dict><key>Spaces</key>%1</dict>")
                                 .arg(QString::fromLatin1(
                                     QByteArray("<array>").repeated(260000) + QByteArray("</array>").repeated(260000)));
    for (const QString& path : { put(QStringLiteral("binary.plist"), samples::deepBinaryArrays(100000)),
             put(QStringLiteral("xml.plist"), samples::xmlDocument(deepDict.toLatin1())),
             put(QStringLiteral("doubling.plist"), samples::doublingBinaryArrays(40)) })
        EXPECT_EQ(fixtures::errorOf([&] { plist.read(path); }), QStringLiteral("Failed to read plist: ") + path);

    QVariantMap wide;
    for (int i = 0; i < 20000; ++i)
        wide.insert(QStringLiteral("key %1").arg(i), QVariantList { qint64(i), QStringLiteral("\t\n\x01 control") });
    plist.write(wide, dir.filePath(QStringLiteral("wide.plist")));
    EXPECT_EQ(plist.read(dir.filePath(QStringLiteral("wide.plist"))), wide);

    auto nested = [](int depth) {
        QVariant value = QVariantList {};
        for (int i = 1; i < depth; ++i)
            value = QVariantList { value };
        return value;
    };
    const auto deepest = serializeBinaryPlist(nested(kMaxPlistDepth));
    ASSERT_TRUE(deepest.bytes);
    EXPECT_EQ(parsePlist(*deepest.bytes).value, nested(kMaxPlistDepth));
    EXPECT_EQ(serializeBinaryPlist(nested(kMaxPlistDepth + 1)).error, QStringLiteral("nesting too deep"));
}

// An independent reader and writer: plistlib numbers a dictionary's keys before its values and
// shares more equal objects, so its bytes differ; each must read the other's file to equal values.
TEST(PlistCodec, PythonsPlistlibAndWeReadEachOthersFiles)
{
    QTemporaryDir dir;
    auto save = [&](const QString& name, const QVariantMap& map) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(fixtures::binary(map));
        return dir.filePath(name);
    };
    auto load = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QVariantMap store = realisticStore(kTwoMonitors, QStringLiteral("file:///L/F.saver"));
    const QVariantMap flat { { QStringLiteral("a"), qint64(-1) }, { QStringLiteral("b"), 2.5 },
        { QStringLiteral("c"), QStringLiteral("text") }, { QStringLiteral("d"), true },
        { QStringLiteral("e"), QByteArray("\x01\x02", 2) }, { QStringLiteral("f"), qint64(70000) } };
    const QString ours = save(QStringLiteral("ours.plist"), store), oursFlat = save(QStringLiteral("flat.plist"), flat);
    const QString theirs = dir.filePath(QStringLiteral("theirs.plist")),
                  theirsFlat = dir.filePath(QStringLiteral("theirs-flat.plist"));

    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 not installed";
    const QString script = QStringLiteral(
        "import plistlib,sys\n"
        "for src,dst in ((sys.argv[1],sys.argv[2]),(sys.argv[3],sys.argv[4])):\n"
        "    open(dst,'wb').write(plistlib.dumps(plistlib.load(open(src,'rb')),fmt=plistlib.FMT_BINARY))\n");
    ASSERT_EQ(QProcess::execute(python, { QStringLiteral("-c"), script, ours, theirs, oursFlat, theirsFlat }), 0);
    EXPECT_EQ(parsePlist(load(theirs)).value.value().toMap(), store);
    EXPECT_EQ(parsePlist(load(theirsFlat)).value.value().toMap(), flat);
}
