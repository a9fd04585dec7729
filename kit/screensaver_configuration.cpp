// Modules and their configurations: finding a bundle by name, the bytes a choice carries, and
// what a choice's bytes name.
#include "kit/errors.h"
#include "kit/plist_codec.h"
#include "kit/screensaver_manager.h"
#include "kit/screensaver_store.h"
#include "platform/clock.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QUrl>

namespace quorvel::kit {

using store::key;

namespace {

// The registry's answer, or absent when it cannot be asked: the folders still count.
QCoro::Task<std::optional<QList<PluginkitExtension>>> registryExtensions(PluginkitManager& pluginkit)
{
    std::optional<QList<PluginkitExtension>> extensions;
    try {
        extensions = co_await pluginkit.discoverScreensaverExtensions();
    } catch (const std::exception&) {
        extensions.reset();
    }
    co_return extensions;
}

QCoro::Task<std::optional<PluginkitExtension>> registryExtensionNamed(PluginkitManager& pluginkit, QString name)
{
    std::optional<PluginkitExtension> found;
    try {
        found = co_await pluginkit.findExtension(name);
    } catch (const std::exception&) {
        found.reset();
    }
    co_return found;
}

} // namespace

std::optional<QVariantMap> store::configurationDictionary(const QByteArray& bytes)
{
    const auto parsed = parsePlist(bytes);
    return parsed.value ? value::map(*parsed.value) : std::nullopt;
}

std::optional<QString> store::describedModuleName(const QVariantMap& config)
{
    if (const auto relative = value::string(value::mapOrEmpty(config, key("module")).value(key("relative")))) {
        const QUrl url(*relative);
        if (url.isValid() && !relative->isEmpty()) {
            QString path = url.path();
            while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
                path.chop(1);
            return QFileInfo(path).completeBaseName();
        }
    }
    const QVariantMap values = value::mapOrEmpty(config, key("values"));
    if (values.contains(key("legacyScreenSaverGenerationCount")))
        return QStringLiteral("Dynamic Desktop");
    if (const auto appearance = value::string(values.value(key("appearance"))))
        return QStringLiteral("Sequoia Video (") + *appearance + QLatin1Char(')');
    return std::nullopt;
}

bool ScreensaverManager::isPlainModuleName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QStringLiteral(".."))
        && !name.contains(QChar(u'\0'));
}

QCoro::Task<std::optional<QString>> ScreensaverManager::findModuleURL(QString name) const
{
    if (!isPlainModuleName(name))
        co_return std::nullopt;
    for (const QString& dir : env_->paths->screensaverModulesDirectories()) {
        for (const char* extension : { ".saver", ".appex" }) {
            const QString candidate = dir + QLatin1Char('/') + name + QString::fromLatin1(extension);
            if (QFileInfo::exists(candidate))
                co_return candidate;
        }
    }
    const auto found = co_await registryExtensionNamed(*env_->pluginkit, name);
    co_return found ? std::optional(found->path) : std::nullopt;
}

QByteArray ScreensaverManager::createScreensaverConfiguration(const QString& modulePath, ScreensaverType type) const
{
    switch (type) {
    case ScreensaverType::traditional:
    case ScreensaverType::appExtension: {
        QString url = QString::fromUtf8(QUrl::fromLocalFile(modulePath).toEncoded());
        if (url.endsWith(QLatin1Char('/')))
            url.chop(1);
        return env_->plist->createBinaryPlist({ { key("module"), QVariantMap { { key("relative"), url } } } });
    }
    case ScreensaverType::sequoiaVideo:
        return env_->plist->createBinaryPlist({ { key("values"),
            QVariantMap { { key("appearance"), QStringLiteral("automatic") },
                { key("picker"), QVariantMap { { key("id"), qint64(0) } } } } } });
    case ScreensaverType::builtInMac:
    case ScreensaverType::defaultScreen:
        break;
    }
    return QByteArray();
}

std::optional<QString> ScreensaverManager::decodeScreensaverConfiguration(const QByteArray& bytes) const
{
    const auto config = store::configurationDictionary(bytes);
    if (!config)
        throw TessaryError::plistReadError(QStringLiteral("binary data"));
    return store::describedModuleName(*config);
}

QVariantMap ScreensaverManager::makeScreensaverChoice(const QByteArray& configuration) const
{
    const QDateTime now = env_->clock->now();
    const QVariantMap choice { { key("Configuration"), configuration }, { key("Files"), QVariantList {} },
        { key("Provider"), store::kScreenSaverProvider } };
    return { { key("Content"), QVariantMap { { key("Choices"), QVariantList { choice } } } }, { key("LastSet"), now },
        { key("LastUse"), now } };
}

QCoro::Task<QList<ScreensaverModule>> ScreensaverManager::listAvailableScreensavers() const
{
    QList<ScreensaverModule> modules;
    const auto extensions = co_await registryExtensions(*env_->pluginkit);
    for (const auto& extension : extensions.value_or(QList<PluginkitExtension> {})) {
        if (extension.bundleIdentifier.contains(QStringLiteral("legacyScreenSaver")))
            continue;
        modules.append({ bundleBaseName(extension.path), QFileInfo(extension.path).fileName(), extension.path,
            ScreensaverType::appExtension, extension.path.startsWith(QStringLiteral("/System/")), {} });
    }
    for (const QString& dir : env_->paths->screensaverModulesDirectories()) {
        QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (it.fileInfo().suffix().toLower() != QStringLiteral("saver")
                || path.contains(QStringLiteral("Default Collections")))
                continue;
            modules.append({ it.fileInfo().completeBaseName(), it.fileName(), path, ScreensaverType::traditional,
                path.startsWith(QStringLiteral("/System/")), {} });
        }
    }
    co_return modules;
}

} // namespace quorvel::kit
