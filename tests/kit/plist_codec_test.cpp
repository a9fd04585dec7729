#include "kit/plist_codec.h"
#include "kit_fixtures.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorvel::kit;
using quorvel::kit::fixtures::realisticStore;

namespace {

QVariant roundTrip(const QVariant& value)
{
    const auto bytes = serializeBinaryPlist(value);
    EXPECT_TRUE(bytes.bytes) << bytes.error.toStdString();
    const auto parsed = parsePlist(bytes.bytes.value_or(QByteArray()));
    EXPECT_TRUE(parsed.value) << parsed.error.toStdString();
    return parsed.value.value_or(QVariant());
}

const QList<fixtures::MonitorSpec> kTwoMonitors = {
    {QStringLiteral("37D8832A-2D66-02CA-B9F7-8F30A301B230"),
     {QStringLiteral("0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F0001"), QStringLiteral("0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F0002")}},
    {QStringLiteral("9C1E2A77-8B3D-4C5E-A1F2-0D3E4F5A6B7C"), {QStringLiteral("0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F0003")}},
};

} // namespace

TEST(PlistCodec, EveryValueKeepsItsType)
{
    const QVariantMap input{
        {QStringLiteral("int"), qint64(42)},
        {QStringLiteral("negative"), qint64(-9000000000LL)},
        {QStringLiteral("real"), 2.5},
        {QStringLiteral("wholeReal"), 3.0},
        {QStringLiteral("bool"), true},
        {QStringLiteral("string"), QStringLiteral("héllo · — …")},
        {QStringLiteral("date"), fixtures::fixedDate()},
        {QStringLiteral("data"), QByteArray("\x00\xff\x10", 3)},
        {QStringLiteral("emptyData"), QByteArray()},
        {QStringLiteral("array"), QVariantList{qint64(1), QStringLiteral("two"), QVariantMap{}}},
        {QStringLiteral("uid"), QVariant::fromValue(PlistUid{7})},
    };
    const QVariantMap output = roundTrip(input).toMap();
    EXPECT_EQ(output.value(QStringLiteral("int")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(output.value(QStringLiteral("negative")).toLongLong(), -9000000000LL);
    EXPECT_EQ(output.value(QStringLiteral("wholeReal")).typeId(), QMetaType::Double);   // 3.0 must not become 3
    EXPECT_EQ(output.value(QStringLiteral("bool")).typeId(), QMetaType::Bool);
    EXPECT_EQ(output.value(QStringLiteral("date")).typeId(), QMetaType::QDateTime);
    EXPECT_EQ(output.value(QStringLiteral("date")).toDateTime(), fixtures::fixedDate());
    EXPECT_EQ(output.value(QStringLiteral("data")).typeId(), QMetaType::QByteArray);
    EXPECT_EQ(output.value(QStringLiteral("emptyData")).typeId(), QMetaType::QByteArray);
    EXPECT_EQ(output.value(QStringLiteral("uid")).value<PlistUid>(), PlistUid{7});
    EXPECT_EQ(output, input);
}

TEST(PlistCodec, RealisticStoreRoundTripsByteForByte)
{
    const QVariantMap store = realisticStore(kTwoMonitors, QStringLiteral("file:///Library/Screen%20Savers/Flurry.saver"));
    const QByteArray first = *serializeBinaryPlist(store).bytes;
    const QVariant reread = parsePlist(first).value.value();
    EXPECT_EQ(reread.toMap(), store);
    EXPECT_EQ(*serializeBinaryPlist(reread).bytes, first);
}

// The XML form keeps whole seconds only.
QVariant withWholeSecondDates(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDateTime) {
        QDateTime d = v.toDateTime();
        return d.addMSecs(-d.time().msec());
    }
    if (v.typeId() == QMetaType::QVariantMap) {
        QVariantMap m = v.toMap();
        for (auto it = m.begin(); it != m.end(); ++it)
            *it = withWholeSecondDates(*it);
        return m;
    }
    if (v.typeId() == QMetaType::QVariantList) {
        QVariantList l = v.toList();
        for (auto& item : l)
            item = withWholeSecondDates(item);
        return l;
    }
    return v;
}

TEST(PlistCodec, XmlInputIsAcceptedAndValuesAreTheSame)
{
    const QVariantMap store = realisticStore(kTwoMonitors);
    const auto xml = serializeXmlPlist(store);
    ASSERT_TRUE(xml.bytes);
    ASSERT_TRUE(xml.bytes->startsWith("<?xml"));
    EXPECT_EQ(parsePlist(*xml.bytes).value.value(), withWholeSecondDates(store));
}

// Text with an embedded NUL: reading never aborts; writing refuses what the library would truncate.
TEST(PlistCodec, EmbeddedNulNeverAbortsAndIsNeverTruncatedSilently)
{
    const QByteArray bytes("\x62\x70\x6c\x69\x73\x74\x30\x30\xd1\x01\x02\x53\x61\x00\x62\x53\x78\x00\x79\x08\x0b\x0f\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x13", 54);
    const auto result = parsePlist(bytes);
    if (result.value) {
        for (const QString& key : result.value->toMap().keys())
            EXPECT_FALSE(key.contains(QChar(0)));
    }
    const auto written = serializeBinaryPlist(QVariantMap{{QStringLiteral("k"), QString::fromUtf8("x\0y", 3)}});
    EXPECT_FALSE(written.bytes);
    EXPECT_FALSE(serializeBinaryPlist(QVariantMap{{QString::fromUtf8("a\0b", 3), qint64(1)}}).bytes);
}

TEST(PlistCodec, ValuesThatAreNotPropertyListValuesAreRefused)
{
    const auto result = serializeBinaryPlist(QVariantMap{{QStringLiteral("point"), QPoint(1, 2)}});
    EXPECT_FALSE(result.bytes);
    EXPECT_TRUE(result.error.contains(QStringLiteral("QPoint")));
    EXPECT_FALSE(serializeBinaryPlist(QVariantMap{{QStringLiteral("nothing"), QVariant()}}).bytes);
}

TEST(PlistCodec, HostileBytesGiveAnErrorNeverACrash)
{
    const QByteArray good = *serializeBinaryPlist(realisticStore(kTwoMonitors)).bytes;
    ASSERT_GT(good.size(), 64);

    struct Row {
        const char* name;
        QByteArray bytes;
    };
    auto withTrailer = [&](int offsetInTrailer, const QByteArray& patch) {
        QByteArray b = good;
        b.replace(b.size() - 32 + offsetInTrailer, patch.size(), patch);
        return b;
    };
    const std::vector<Row> rows = {
        {"empty", QByteArray()},
        {"magic only", QByteArray("bplist00")},
        {"garbage", QByteArray("not a property list at all")},
        {"offset table past the end", withTrailer(24, QByteArray("\x7f\xff\xff\xff\xff\xff\xff\xff", 8))},
        {"object count enormous", withTrailer(8, QByteArray("\x7f\xff\xff\xff\xff\xff\xff\xff", 8))},
        {"top object past the count", withTrailer(16, QByteArray("\x00\x00\x00\x00\x7f\xff\xff\xff", 8))},
        {"offset size zero", withTrailer(6, QByteArray("\x00", 1))},
        {"reference size zero", withTrailer(7, QByteArray("\x00", 1))},
        {"offset size nine", withTrailer(6, QByteArray("\x09", 1))},
        {"unclosed xml", QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><array><integer>1")},
        {"xml with entity bomb", QByteArray("<?xml version=\"1.0\"?><!DOCTYPE p [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]><plist><string>&b;&b;&b;</string></plist>")},
    };
    for (const Row& row : rows) {
        const auto result = parsePlist(row.bytes);
        if (!result.value) {
            EXPECT_FALSE(result.error.isEmpty()) << row.name;
        }
    }

    // Every truncation and every single-byte corruption of a real store.
    for (qsizetype length = 0; length < good.size(); ++length)
        (void)parsePlist(good.left(length));
    for (qsizetype i = 0; i < good.size(); ++i) {
        QByteArray bad = good;
        bad[i] = char(bad[i] ^ 0xff);
        (void)parsePlist(bad);
    }
}

TEST(PlistCodec, SelfReferencingBinaryIsRefused)
{
    // bplist00, one array object (0xA1) whose single element references object 0: itself.
    QByteArray b("bplist00", 8);
    b.append(char(0xA1)).append(char(0x00));
    const int offsetTable = b.size();
    b.append(char(8));
    QByteArray trailer(32, '\0');
    trailer[6] = 1;    // offset int size
    trailer[7] = 1;    // object ref size
    trailer[15] = 1;   // object count
    trailer[31] = char(offsetTable);
    b.append(trailer);
    EXPECT_FALSE(parsePlist(b).value);
}

TEST(PlistCodec, DeepNestingIsRefusedNotRecursedInto)
{
    QByteArray xml("<?xml version=\"1.0\"?><plist version=\"1.0\">");
    for (int i = 0; i < kMaxPlistDepth + 10; ++i)
        xml += "<array>";
    for (int i = 0; i < kMaxPlistDepth + 10; ++i)
        xml += "</array>";
    xml += "</plist>";
    const auto result = parsePlist(xml);
    EXPECT_FALSE(result.value);
}

// Our bytes for a dictionary are exactly libplist's own writer's. Python's plistlib numbers a
// dictionary's keys before its values (libplist interleaves them) and shares more equal objects,
// so its bytes differ; against it the check is that each reads the other's file to equal values.
TEST(PlistCodec, BinaryBytesMatchLibplistAndPythonWriters)
{
    QTemporaryDir dir;
    auto save = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return dir.filePath(name);
    };
    auto load = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QVariantMap store = realisticStore(kTwoMonitors, QStringLiteral("file:///L/F.saver"));
    const QVariantMap flat{{QStringLiteral("a"), qint64(-1)}, {QStringLiteral("b"), 2.5}, {QStringLiteral("c"), QStringLiteral("text")},
                           {QStringLiteral("d"), true}, {QStringLiteral("e"), QByteArray("\x01\x02", 2)}, {QStringLiteral("f"), qint64(70000)}};
    const QString ours = save(QStringLiteral("ours.plist"), *serializeBinaryPlist(store).bytes);
    const QString oursFlat = save(QStringLiteral("flat.plist"), *serializeBinaryPlist(flat).bytes);

    const QString plistutil = QStandardPaths::findExecutable(QStringLiteral("plistutil"));
    if (!plistutil.isEmpty()) {
        const QString theirs = dir.filePath(QStringLiteral("libplist.plist"));
        ASSERT_EQ(QProcess::execute(plistutil, {QStringLiteral("-i"), ours, QStringLiteral("-o"), theirs, QStringLiteral("-f"), QStringLiteral("bin")}), 0);
        EXPECT_EQ(load(theirs), load(ours));
    }
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 not installed";
    const QString script = QStringLiteral(
        "import plistlib,sys\n"
        "for src,dst in ((sys.argv[1],sys.argv[2]),(sys.argv[3],sys.argv[4])):\n"
        "    open(dst,'wb').write(plistlib.dumps(plistlib.load(open(src,'rb')),fmt=plistlib.FMT_BINARY))\n");
    const QString theirs = dir.filePath(QStringLiteral("python.plist")), theirsFlat = dir.filePath(QStringLiteral("python-flat.plist"));
    ASSERT_EQ(QProcess::execute(python, {QStringLiteral("-c"), script, ours, theirs, oursFlat, theirsFlat}), 0);
    EXPECT_EQ(parsePlist(load(theirs)).value.value().toMap(), store);
    EXPECT_EQ(parsePlist(load(theirsFlat)).value.value().toMap(), flat);
}
