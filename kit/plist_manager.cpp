#include "kit/plist_manager.h"

#include "kit/errors.h"
#include "kit/plist_codec.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace quorvel::kit {

namespace {

bool fileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QByteArray readAll(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        *error = file.errorString();
    return bytes;
}

} // namespace

QString PlistManager::absolutePath(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

QString writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

QVariantMap PlistManager::read(const QString& path) const
{
    if (!fileExists(path))
        throw TessaryError::fileNotFound(absolutePath(path));
    QString error;
    const QByteArray bytes = readAll(path, &error);
    if (!error.isEmpty())
        throw TessaryError::plistReadError(path);
    const PlistParseResult parsed = parsePlist(bytes);
    if (!parsed.value || parsed.value->typeId() != QMetaType::QVariantMap)
        throw TessaryError::plistReadError(path);
    return parsed.value->toMap();
}

void PlistManager::write(const QVariantMap& dictionary, const QString& path) const
{
    if (fileExists(path)) {
        try {
            backup(path);
        } catch (const std::exception&) {
            // A failed backup does not stop the write; the store itself is still written atomically.
        }
    }
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(directory))
        throw PlatformError(QStringLiteral("Couldn't create the folder \"%1\".").arg(directory));
    const PlistSerializeResult serialized = serializeBinaryPlist(dictionary);
    if (!serialized.bytes)
        throw TessaryError::plistWriteError(path + QStringLiteral(": ") + serialized.error);
    const QString error = writeFileAtomically(path, *serialized.bytes);
    if (!error.isEmpty())
        throw TessaryError::plistWriteError(path + QStringLiteral(": ") + error);
}

QString PlistManager::backup(const QString& path) const
{
    if (!fileExists(path))
        throw TessaryError::fileNotFound(absolutePath(path));
    QString error;
    const QByteArray bytes = readAll(path, &error);
    if (error.isEmpty())
        error = writeFileAtomically(backupPath(path), bytes);
    if (!error.isEmpty())
        throw PlatformError(QStringLiteral("Couldn't copy \"%1\" to its backup: %2").arg(path, error));
    return backupPath(path);
}

void PlistManager::restore(const QString& backupPathValue, const QString& targetPath) const
{
    if (!fileExists(backupPathValue))
        throw TessaryError::fileNotFound(absolutePath(backupPathValue));
    QString error;
    const QByteArray bytes = readAll(backupPathValue, &error);
    if (error.isEmpty())
        error = writeFileAtomically(targetPath, bytes);
    if (!error.isEmpty())
        throw PlatformError(
            QStringLiteral("Couldn't restore \"%1\" from \"%2\": %3").arg(targetPath, backupPathValue, error));
}

QString PlistManager::calculateChecksum(const QString& path) const
{
    if (!fileExists(path))
        throw TessaryError::fileNotFound(absolutePath(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformError(file.errorString());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        throw PlatformError(file.errorString());
    return QString::fromLatin1(hash.result().toHex());
}

QByteArray PlistManager::createBinaryPlist(const QVariantMap& dictionary) const
{
    const PlistSerializeResult serialized = serializeBinaryPlist(dictionary);
    if (!serialized.bytes)
        throw TessaryError::plistWriteError(QStringLiteral("binary data"));
    return *serialized.bytes;
}

} // namespace quorvel::kit
