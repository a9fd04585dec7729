// Loading modules from bundles: every way a bundle can be wrong gives its typed reason.
#include "host/module_loader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <plist/plist.h>

#include <cstdlib>

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
    if (info.isEmpty() && !relative.isEmpty()) {
        plist_t root = plist_new_dict();
        plist_dict_set_item(root, kPlugInLibraryKey, plist_new_string(relative.toUtf8().constData()));
        char* bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(root, &bytes, &length);
        info = QByteArray(bytes, length);
        std::free(bytes);
        plist_free(root);
    }
    QFile file(bundle + "/Contents/Info.plist");
    if (!info.isEmpty() && file.open(QIODevice::WriteOnly))
        file.write(info);
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
