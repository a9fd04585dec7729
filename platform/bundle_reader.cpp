#include "platform/bundle_reader.h"
#include "platform/plist_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quorvel::platform::detail {

namespace {
// An Info.plist is a few kilobytes; anything past this is not one.
constexpr qint64 kMaxInfoPlistBytes = 4 * 1024 * 1024;
} // namespace

std::optional<BundleInfo> readBundle(const QString& bundlePath)
{
    if (bundlePath.isEmpty())
        return std::nullopt;
    const QString root = QDir::cleanPath(QFileInfo(bundlePath).absoluteFilePath());
    QFile file(root + QStringLiteral("/Contents/Info.plist"));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxInfoPlistBytes)
        return std::nullopt;
    const PlistReadResult document = readPlist(file.readAll());
    if (!document.value)
        return std::nullopt;
    auto text = [&](const char* key) { return plistText(*document.value, QString::fromLatin1(key)); };

    BundleInfo info;
    info.bundlePath = root;
    info.identifier = text("CFBundleIdentifier").value_or(QString());
    info.version = text("CFBundleVersion");
    info.shortVersion = text("CFBundleShortVersionString");
    info.plugInsPath = root + QStringLiteral("/Contents/PlugIns");
    const QString executable = text("CFBundleExecutable").value_or(QString());
    // The executable name is one path component; anything else would point outside the bundle.
    if (!executable.isEmpty() && !executable.contains(QLatin1Char('/')) && executable != QLatin1String("..")
        && executable != QLatin1String("."))
        info.executablePath = root + QStringLiteral("/Contents/MacOS/") + executable;
    return info;
}

std::optional<QString> bundlePathForExecutable(const QString& executablePath)
{
    const QString clean = QDir::cleanPath(executablePath);
    const QStringList parts = clean.split(QLatin1Char('/'));
    // [..., "X.app", "Contents", "MacOS", "exe"]
    if (parts.size() < 5 || parts.at(parts.size() - 2) != QLatin1String("MacOS")
        || parts.at(parts.size() - 3) != QLatin1String("Contents") || parts.at(parts.size() - 4).isEmpty())
        return std::nullopt;
    return parts.mid(0, parts.size() - 3).join(QLatin1Char('/'));
}

} // namespace quorvel::platform::detail
