// Loading modules from bundles: every way a bundle can be wrong gives its typed reason.
#include "host/module_loader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <plist/plist.h>

#include <cstdlib>
#include <optional>

using namespace quorvel::saver;
using Kind = LoadError::Kind;

namespace {

enum class PlistFormat { Xml, Binary, Garbage, None };

// Writes NAME.appex with an Info.plist (naming `libraryKeyValue` when given) and, when
// `library` is given, a copy of it at Contents/MacOS/<its file name>.
QString makeBundle(const QTemporaryDir& dir, const QString& name, PlistFormat format,
    std::optional<QString> libraryKeyValue, const QString& library = {})
{
    const QString bundle = dir.filePath(name + ".appex");
    QDir().mkpath(bundle + "/Contents/MacOS");
    if (!library.isEmpty())
        QFile::copy(library, bundle + "/Contents/MacOS/" + QFileInfo(library).fileName());
    if (format == PlistFormat::None)
        return bundle;
    QFile info(bundle + "/Contents/Info.plist");
    if (!info.open(QIODevice::WriteOnly))
        return bundle;
    if (format == PlistFormat::Garbage) {
        info.write("\x89PNG not a property list");
        return bundle;
    }
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string("com.quorvel.test"));
    if (libraryKeyValue)
        plist_dict_set_item(root, kPlugInLibraryKey, plist_new_string(libraryKeyValue->toUtf8().constData()));
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == PlistFormat::Xml)
        plist_to_xml(root, &bytes, &length);
    else
        plist_to_bin(root, &bytes, &length);
    info.write(bytes, length);
    std::free(bytes);
    plist_free(root);
    return bundle;
}

QString libraryName(const char* path)
{
    return "MacOS/" + QFileInfo(QString::fromUtf8(path)).fileName();
}

TEST(ModuleLoader, ReasonTextsAreExact)
{
    EXPECT_EQ((LoadError { Kind::NoSuchBundle, {} }.reason()), "no such bundle");
    EXPECT_EQ((LoadError { Kind::NotAModule, {} }.reason()), "not a Quorvel module");
    EXPECT_EQ((LoadError { Kind::IncompatibleVersion, {} }.reason()), "incompatible version");
    EXPECT_EQ((LoadError { Kind::NoSuchBundle, "/x" }.message()), "no such bundle: /x");
}

TEST(ModuleLoader, BrokenBundlesGiveTheirReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        const char* name;
        QString bundle;
        Kind kind;
    } rows[] = {
        { "path that does not exist", dir.filePath("Missing.appex"), Kind::NoSuchBundle },
        { "empty path", QString(), Kind::NoSuchBundle },
        { "a file, not a bundle", QString::fromUtf8(HOST_TEST_MODULE), Kind::NoSuchBundle },
        { "bundle without Info.plist", makeBundle(dir, "NoInfo", PlistFormat::None, {}), Kind::NoSuchBundle },
        { "Info.plist that does not parse", makeBundle(dir, "Garbage", PlistFormat::Garbage, {}), Kind::NotAModule },
        { "Info.plist naming no library", makeBundle(dir, "NoKey", PlistFormat::Xml, std::nullopt), Kind::NotAModule },
        { "library that is not there", makeBundle(dir, "NoLibrary", PlistFormat::Xml, QString("MacOS/libnothing.so")),
            Kind::NotAModule },
        { "library path leaving the bundle",
            makeBundle(dir, "Escape", PlistFormat::Xml, "../../" + QFileInfo(QString(HOST_TEST_MODULE)).fileName()),
            Kind::NotAModule },
        { "absolute library path", makeBundle(dir, "Absolute", PlistFormat::Xml, QString(HOST_TEST_MODULE)),
            Kind::NotAModule },
        { "shared library that is no plug-in",
            makeBundle(dir, "Plain", PlistFormat::Xml, libraryName(HOST_TEST_PLAIN_LIBRARY), HOST_TEST_PLAIN_LIBRARY),
            Kind::NotAModule },
        { "plug-in of another kind",
            makeBundle(
                dir, "Foreign", PlistFormat::Xml, libraryName(HOST_TEST_FOREIGN_PLUGIN), HOST_TEST_FOREIGN_PLUGIN),
            Kind::NotAModule },
        { "module of a later interface",
            makeBundle(dir, "Future", PlistFormat::Xml, libraryName(HOST_TEST_FUTURE_MODULE), HOST_TEST_FUTURE_MODULE),
            Kind::IncompatibleVersion },
        { "module reporting another interface version",
            makeBundle(dir, "V2", PlistFormat::Xml, libraryName(HOST_TEST_MODULE_V2), HOST_TEST_MODULE_V2),
            Kind::IncompatibleVersion },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LoadResult result = loadSaverModule(row.bundle);
        ASSERT_TRUE(std::holds_alternative<LoadError>(result));
        const LoadError& error = std::get<LoadError>(result);
        EXPECT_EQ(error.kind, row.kind) << error.message().toStdString();
        EXPECT_TRUE(error.message().startsWith(error.reason()));
    }
}

TEST(ModuleLoader, LoadsAModuleWhosePlistIsXmlOrBinary)
{
    QTemporaryDir dir;
    for (const PlistFormat format : { PlistFormat::Xml, PlistFormat::Binary }) {
        const QString name = format == PlistFormat::Xml ? "Xml" : "Binary";
        SCOPED_TRACE(name.toStdString());
        const QString bundle = makeBundle(dir, name, format, libraryName(HOST_TEST_MODULE), HOST_TEST_MODULE);
        LoadResult result = loadSaverModule(bundle);
        ASSERT_TRUE(std::holds_alternative<std::unique_ptr<LoadedModule>>(result))
            << std::get<LoadError>(result).message().toStdString();
        const auto& loaded = std::get<std::unique_ptr<LoadedModule>>(result);
        EXPECT_EQ(loaded->module().interfaceVersion(), SaverModule::kInterfaceVersion);
        EXPECT_TRUE(loaded->libraryPath().startsWith(QFileInfo(bundle).absoluteFilePath() + "/Contents/MacOS/"));
        // The module works: principal, controller, view.
        auto principal = loaded->module().makePrincipal();
        ASSERT_TRUE(principal);
        auto controller = principal->makeViewController();
        ASSERT_TRUE(controller);
        QWidget* view = controller->loadView(QRect(0, 0, 300, 200), true);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->size(), QSize(300, 200));
    }
}

} // namespace
