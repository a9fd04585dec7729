#include "kit/plist_manager.h"

#include "kit/errors.h"
#include "kit/plist_codec.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

#include <filesystem>

namespace quorvel::kit {

namespace {

const QString kTemporaryInfix = QStringLiteral(".quorvel-tmp-");

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
    // A temporary name of our own, so that what a killed writer leaves can be told apart and cleared.
    const QString temporary = path + kTemporaryInfix + QUuid::createUuid().toString(QUuid::Id128);
    QSaveFile file(temporary);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    // The file keeps the permissions it had, as it would with an in-place save.
    if (QFileInfo::exists(path))
        QFile::setPermissions(temporary, QFile::permissions(path));
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(QFile::encodeName(temporary).toStdString()),
        std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error) {
        QFile::remove(temporary);
        return QString::fromStdString(error.message());
    }
    return {};
}

void PlistManager::removeStaleTemporaries(const QString& path)
{
    const QFileInfo info(path);
    QDir dir = info.absoluteDir();
    const QStringList prefixes { info.fileName() + kTemporaryInfix, backupPath(info.fileName()) + kTemporaryInfix };
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        for (const QString& prefix : prefixes)
            if (name.startsWith(prefix))
                dir.remove(name);
}

QVariantMap PlistManager::read(const QString& path) const
{
    return readSnapshot(path).dictionary;
}

PlistManager::Snapshot PlistManager::readSnapshot(const QString& path) const
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
    return { parsed.value->toMap(), bytes };
}

std::optional<QVariantMap> PlistManager::tryRead(const QString& path) const
{
    try {
        return read(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void PlistManager::write(
    const QVariantMap& dictionary, const QString& path, std::optional<QByteArray> expectedBytes) const
{
    const bool exists = fileExists(path);
    if (exists || expectedBytes) {
        QString error;
        const QByteArray current = exists ? readAll(path, &error) : QByteArray();
        // Compared byte for byte: hashing both sides costs more than the whole edit's parse.
        if (error.isEmpty() && expectedBytes && (!exists || current != *expectedBytes))
            throw TessaryError::plistWriteError(path + QStringLiteral(": it was replaced while it was being edited"));
        // Without a backup of exactly the previous bytes a rollback could not undo this write.
        if (error.isEmpty() && exists)
            error = writeFileAtomically(backupPath(path), current);
        if (!error.isEmpty())
            throw TessaryError::plistWriteError(path + QStringLiteral(": couldn't refresh its backup: ") + error);
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

void PlistManager::checkReadable(const QString& path) const
{
    if (!fileExists(path))
        throw TessaryError::fileNotFound(absolutePath(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformError(file.errorString());
}

QString PlistManager::calculateChecksum(const QString& path) const
{
    checkReadable(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformError(file.errorString());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        throw PlatformError(file.errorString());
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<QString> PlistManager::tryChecksum(const QString& path) const
{
    try {
        return calculateChecksum(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

QByteArray PlistManager::createBinaryPlist(const QVariantMap& dictionary) const
{
    const PlistSerializeResult serialized = serializeBinaryPlist(dictionary);
    if (!serialized.bytes)
        throw TessaryError::plistWriteError(QStringLiteral("binary data"));
    return *serialized.bytes;
}

} // namespace quorvel::kit
