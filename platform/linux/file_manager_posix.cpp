#include "platform/file_manager.h"

#include <QFile>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>

namespace quorvel::platform {

namespace {

namespace fs = std::filesystem;

fs::path toPath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString describe(const QString& what, const std::error_code& error)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(error.message().c_str()));
}

QString describeErrno(const QString& what, int error)
{
    return describe(what, std::error_code(error, std::generic_category()));
}

} // namespace

bool LocalFileManager::exists(const QString& path) const
{
    std::error_code error;
    return fs::exists(fs::symlink_status(toPath(path), error));
}

std::optional<QString> LocalFileManager::makeFolder(const QString& path)
{
    std::error_code error;
    fs::create_directories(toPath(path), error);
    if (error)
        return describe(QStringLiteral("Could not create %1").arg(path), error);
    return std::nullopt;
}

std::optional<QString> LocalFileManager::copyItem(const QString& source, const QString& destination)
{
    if (exists(destination))
        return describeErrno(QStringLiteral("Could not copy to %1").arg(destination), EEXIST);
    std::error_code error;
    const auto status = fs::symlink_status(toPath(source), error);
    if (error)
        return describe(QStringLiteral("Could not read %1").arg(source), error);
    if (fs::is_directory(status)) {
        // copy() with these options keeps links as links; each copied file keeps its mode.
        fs::copy(
            toPath(source), toPath(destination), fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
        if (!error)
            fs::permissions(toPath(destination), status.permissions(), error);
    } else {
        fs::copy(toPath(source), toPath(destination), fs::copy_options::copy_symlinks, error);
    }
    if (error)
        return describe(QStringLiteral("Could not copy %1 to %2").arg(source, destination), error);
    return std::nullopt;
}

std::optional<QString> LocalFileManager::replaceItem(const QString& destination, const QString& replacement)
{
    const QByteArray to = QFile::encodeName(destination);
    const QByteArray from = QFile::encodeName(replacement);
    if (!exists(replacement))
        return describeErrno(QStringLiteral("Could not replace %1").arg(destination), ENOENT);
    if (!exists(destination)) {
        if (::rename(from.constData(), to.constData()) != 0)
            return describeErrno(QStringLiteral("Could not move %1 into place").arg(replacement), errno);
        return std::nullopt;
    }
    // Swapping both names in one step means no moment without an app at the destination.
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0)
        return std::nullopt;
    if (errno != EINVAL && errno != ENOSYS)
        return describeErrno(QStringLiteral("Could not replace %1").arg(destination), errno);

    // File systems without the swap: move the old item aside first, and back if the new one cannot
    // go in; then under the replacement's name, as the swap leaves it.
    const QString aside = destination + QStringLiteral(".old-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QByteArray asideName = QFile::encodeName(aside);
    if (::rename(to.constData(), asideName.constData()) != 0)
        return describeErrno(QStringLiteral("Could not move %1 aside").arg(destination), errno);
    if (::rename(from.constData(), to.constData()) != 0) {
        const int error = errno;
        ::rename(asideName.constData(), to.constData());
        return describeErrno(QStringLiteral("Could not move %1 into place").arg(replacement), error);
    }
    // The new item is in place: an old one left under the aside name is only a leftover.
    ::rename(asideName.constData(), from.constData());
    return std::nullopt;
}

QStringList LocalFileManager::itemNames(const QString& folder) const
{
    QStringList names;
    std::error_code error;
    for (fs::directory_iterator it(toPath(folder), error), end; !error && it != end; it.increment(error))
        names << QFile::decodeName(QByteArray::fromStdString(it->path().filename().string()));
    return names;
}

std::optional<QString> LocalFileManager::removeItem(const QString& path)
{
    std::error_code error;
    fs::remove_all(toPath(path), error);
    if (error)
        return describe(QStringLiteral("Could not remove %1").arg(path), error);
    return std::nullopt;
}

} // namespace quorvel::platform
