// Loading modules from bundles: every way a bundle can be wrong gives its typed reason.
#include "host/module_loader.h"
#include "kit/plist_codec.h"
#include "support/files.h"
#include "support/plist_samples.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace quorvel::saver;
using Kind = LoadError::Kind;

namespace {

// NAME.appex holding a copy of `library` (when given) in Contents/MacOS and an Info.plist of
// `info` bytes, or one naming `relative` as a binary plist when `info` is empty.
QString makeBundle(const QTemporaryDir& dir, const QString& name, const QString& relative,
    const char* library = nullptr, QByteArray info = {})
{
    const QString bundle = dir.filePath(name + ".appex");
    QDir().mkpath(bundle + "/Contents/MacOS");
    if (library)
        QFile::copy(library, bundle + "/Contents/MacOS/" + QFileInfo(library).fileName());
    if (info.isEmpty() && !relative.isEmpty())
        info
            = *quorvel::kit::serializeBinaryPlist(QVariantMap { { QLatin1String(kPlugInLibraryKey), relative } }).bytes;
    if (!info.isEmpty())
        quorvel::testing::writeFile(bundle + "/Contents/Info.plist", info);
    return bundle;
}

QString inMacOS(const char* library)
{
    return "MacOS/" + QFileInfo(library).fileName();
}

TEST(ModuleLoader, BrokenBundlesGiveTheirReason)
{
    QTemporaryDir dir;
    // A loadable module right outside the bundles, where an escaping library path points.
    QFile::copy(HOST_TEST_MODULE, dir.filePath(QFileInfo(HOST_TEST_MODULE).fileName()));
    const QByteArray noKey = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict></dict></plist>";
    namespace samples = quorvel::testing::plist;
    const struct {
        const char* name;
        QString bundle;
        Kind kind;
    } rows[] = {
        { "path that does not exist", dir.filePath("Missing.appex"), Kind::NoSuchBundle },
        { "a file, not a bundle", HOST_TEST_MODULE, Kind::NoSuchBundle },
        { "bundle without Info.plist", makeBundle(dir, "NoInfo", {}), Kind::NoSuchBundle },
        { "Info.plist that does not parse", makeBundle(dir, "Garbage", {}, nullptr, "\x89PNG no plist"),
            Kind::NotAModule },
        { "Info.plist naming no library", makeBundle(dir, "NoKey", {}, nullptr, noKey), Kind::NotAModule },
        // One shape the shared reader refuses stands for all of them (they are its own cases).
        { "Info.plist nested 100,000 deep",
            makeBundle(dir, "DeepBinary", {}, nullptr, samples::deepBinaryArrays(100000)), Kind::NotAModule },
        { "library name holding a NUL",
            // A reader that cut the name at the NUL would load the module that is there.
            makeBundle(dir, "Nul", {}, HOST_TEST_MODULE,
                samples::binaryUtf16Dictionary(kPlugInLibraryKey, inMacOS(HOST_TEST_MODULE) + QChar(0) + ".so")),
            Kind::NotAModule },
        { "library that is not there", makeBundle(dir, "NoLibrary", "MacOS/libnothing.so"), Kind::NotAModule },
        { "library path leaving the bundle",
            makeBundle(dir, "Escape", "../../" + QFileInfo(HOST_TEST_MODULE).fileName()), Kind::NotAModule },
        { "absolute library path", makeBundle(dir, "Absolute", HOST_TEST_MODULE), Kind::NotAModule },
        { "shared library that is no plug-in",
            makeBundle(dir, "Plain", inMacOS(HOST_TEST_PLAIN_LIBRARY), HOST_TEST_PLAIN_LIBRARY), Kind::NotAModule },
        { "plug-in of another kind",
            makeBundle(dir, "Foreign", inMacOS(HOST_TEST_FOREIGN_PLUGIN), HOST_TEST_FOREIGN_PLUGIN), Kind::NotAModule },
        { "module of a later interface",
            makeBundle(dir, "Future", inMacOS(HOST_TEST_FUTURE_MODULE), HOST_TEST_FUTURE_MODULE),
            Kind::IncompatibleVersion },
        { "module reporting another interface version",
            makeBundle(dir, "V2", inMacOS(HOST_TEST_MODULE_V2), HOST_TEST_MODULE_V2), Kind::IncompatibleVersion },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LoadResult result = loadSaverModule(row.bundle);
        ASSERT_TRUE(std::holds_alternative<LoadError>(result));
        EXPECT_EQ(std::get<LoadError>(result).kind, row.kind) << std::get<LoadError>(result).message().toStdString();
    }
}

TEST(ModuleLoader, LoadsAModuleThatMakesAPrincipal)
{
    QTemporaryDir dir;
    const QString bundle = makeBundle(dir, "Good", inMacOS(HOST_TEST_MODULE), HOST_TEST_MODULE);
    LoadResult result = loadSaverModule(bundle);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<LoadedModule>>(result))
        << std::get<LoadError>(result).message().toStdString();
    const auto& loaded = std::get<std::unique_ptr<LoadedModule>>(result);
    EXPECT_TRUE(loaded->libraryPath().startsWith(QFileInfo(bundle).absoluteFilePath() + "/Contents/MacOS/"));
    QString error;
    EXPECT_NE(makeModulePrincipal(loaded->module(), &error), nullptr) << error.toStdString();
}

} // namespace
