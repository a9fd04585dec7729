#include "host/module_loader.h"
#include "platform/plist_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QPluginLoader>

#include <exception>
#include <optional>

namespace quorvel::saver {
namespace {

// An Info.plist is a few kilobytes; anything far bigger is not one.
constexpr qint64 kMaxInfoPlistBytes = 1 << 20;
constexpr QLatin1StringView kIidPrefix { "com.quorvel.SaverModule/" };

// The text under `key` in the Info.plist at `path` (XML or binary), none when it is absent.
std::variant<std::optional<QString>, LoadError> readInfoString(const QString& path, const char* key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LoadError { LoadError::Kind::NoSuchBundle, QStringLiteral("cannot read %1").arg(path) };
    if (file.size() > kMaxInfoPlistBytes)
        return LoadError { LoadError::Kind::NotAModule, QStringLiteral("%1 is too large").arg(path) };
    const platform::PlistReadResult info = platform::readPlist(file.readAll());
    if (!info.value)
        return LoadError { LoadError::Kind::NotAModule,
            QStringLiteral("%1 is not a property list (%2)").arg(path, info.error) };
    if (info.value->typeId() != QMetaType::QVariantMap)
        return LoadError { LoadError::Kind::NotAModule, QStringLiteral("%1 is not a dictionary").arg(path) };
    return platform::plistText(*info.value, QString::fromLatin1(key));
}

// The library path inside Contents/, refusing paths that leave the bundle.
std::optional<QString> libraryInside(const QString& contents, const QString& relative)
{
    if (relative.isEmpty() || QDir::isAbsolutePath(relative))
        return std::nullopt;
    const QString path = QDir::cleanPath(contents + '/' + relative);
    if (!path.startsWith(QDir::cleanPath(contents) + '/'))
        return std::nullopt;
    return path;
}

} // namespace

QString LoadError::reason() const
{
    switch (kind) {
    case Kind::NoSuchBundle:
        return QStringLiteral("no such bundle");
    case Kind::NotAModule:
        return QStringLiteral("not a Quorvel module");
    case Kind::IncompatibleVersion:
        return QStringLiteral("incompatible version");
    case Kind::TurnedOff:
        return QStringLiteral("turned off");
    }
    return {};
}

QString LoadError::message() const
{
    return detail.isEmpty() ? reason() : reason() + QStringLiteral(": ") + detail;
}

LoadedModule::LoadedModule(std::unique_ptr<QPluginLoader> loader, SaverModule* module, QString bundlePath)
    : loader_(std::move(loader))
    , module_(module)
    , bundlePath_(std::move(bundlePath))
{
}

LoadedModule::~LoadedModule() = default;

QString LoadedModule::libraryPath() const
{
    return loader_->fileName();
}

LoadResult loadSaverModule(const QString& bundlePath)
{
    const QFileInfo bundle(bundlePath);
    if (bundlePath.isEmpty() || !bundle.isDir())
        return LoadError { LoadError::Kind::NoSuchBundle, bundlePath };
    const QString contents = bundle.absoluteFilePath() + QStringLiteral("/Contents");
    const QString infoPath = contents + QStringLiteral("/Info.plist");
    if (!QFileInfo(infoPath).isFile())
        return LoadError { LoadError::Kind::NoSuchBundle,
            QStringLiteral("%1 has no Contents/Info.plist").arg(bundlePath) };

    auto info = readInfoString(infoPath, kPlugInLibraryKey);
    if (auto* error = std::get_if<LoadError>(&info))
        return *error;
    const std::optional<QString> relative = std::get<std::optional<QString>>(info);
    if (!relative)
        return LoadError { LoadError::Kind::NotAModule,
            QStringLiteral("%1 names no %2").arg(infoPath, QLatin1String(kPlugInLibraryKey)) };
    const std::optional<QString> libraryPath = libraryInside(contents, *relative);
    if (!libraryPath)
        return LoadError { LoadError::Kind::NotAModule,
            QStringLiteral("library path \"%1\" is outside the bundle").arg(*relative) };
    if (!QFileInfo(*libraryPath).isFile())
        return LoadError { LoadError::Kind::NotAModule, QStringLiteral("no library at %1").arg(*libraryPath) };

    auto loader = std::make_unique<QPluginLoader>(*libraryPath);
    // The metadata is read without running any of the library's code, so a module built for
    // another interface is refused before it can do harm.
    const QString iid = loader->metaData().value(QLatin1String("IID")).toString();
    if (iid.isEmpty())
        return LoadError { LoadError::Kind::NotAModule, QStringLiteral("%1 is not a plug-in").arg(*libraryPath) };
    if (iid != QLatin1String(QuorvelSaverModule_iid)) {
        if (iid.startsWith(kIidPrefix))
            return LoadError {
                LoadError::Kind::IncompatibleVersion,
                QStringLiteral("the module implements %1, this host %2").arg(iid, QLatin1String(QuorvelSaverModule_iid))
            };
        return LoadError { LoadError::Kind::NotAModule,
            QStringLiteral("%1 is a plug-in of another kind (%2)").arg(*libraryPath, iid) };
    }
    QObject* instance = loader->instance();
    if (!instance)
        return LoadError { LoadError::Kind::NotAModule, loader->errorString() };
    auto* module = qobject_cast<SaverModule*>(instance);
    if (!module)
        return LoadError { LoadError::Kind::NotAModule,
            QStringLiteral("%1 does not implement the module interface").arg(*libraryPath) };
    if (const int version = module->interfaceVersion(); version != SaverModule::kInterfaceVersion)
        return LoadError { LoadError::Kind::IncompatibleVersion,
            QStringLiteral("the module speaks interface %1, this host %2")
                .arg(version)
                .arg(SaverModule::kInterfaceVersion) };
    return std::make_unique<LoadedModule>(std::move(loader), module, bundle.absoluteFilePath());
}

std::unique_ptr<SaverPrincipal> makeModulePrincipal(SaverModule& module, QString* error)
{
    try {
        auto principal = module.makePrincipal();
        if (!principal)
            *error = QStringLiteral("not a Quorvel module: the module made no principal");
        return principal;
    } catch (const std::exception& e) {
        *error = QStringLiteral("not a Quorvel module: the principal failed: %1").arg(QString::fromUtf8(e.what()));
    } catch (...) {
        *error = QStringLiteral("not a Quorvel module: the principal failed");
    }
    return nullptr;
}

} // namespace quorvel::saver
