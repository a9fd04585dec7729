#include "platform/bundle_reader.h"
#include "platform/linux/process_table.h"
#include "platform/locations.h"
#include "platform/workspace.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>

#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace quorvel::platform {

namespace {

const QLatin1String kSettingsUrl("x-apple.systempreferences:com.apple.Wallpaper-Settings.extension");
const QLatin1String kScreenSaverEnginePath("/System/Library/CoreServices/ScreenSaverEngine.app");
const QLatin1String kRuntimeSuffix(".running");

QString runtimeFileName(qint64 pid, const QString& bundleIdentifier)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9.-]"));
    QString safeIdentifier = bundleIdentifier;
    safeIdentifier.replace(unsafe, QStringLiteral("_"));
    return QStringLiteral("%1-%2%3").arg(pid).arg(safeIdentifier, kRuntimeSuffix);
}

class RuntimeFileDeclaration final : public RunningDeclaration {
public:
    explicit RuntimeFileDeclaration(QString path)
        : path_(std::move(path))
    {
    }
    ~RuntimeFileDeclaration() override { QFile::remove(path_); }

private:
    QString path_;
};

// A declaration whose file could not be written: the process simply is not listed.
class NoDeclaration final : public RunningDeclaration { };

// Runtime files decide which processes get SIGTERM, so only a real folder of our own is trusted.
bool isOwnFolder(const QString& path, bool requirePrivate)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::geteuid() && (!requirePrivate || (info.st_mode & (S_IWGRP | S_IWOTH)) == 0);
}

bool sameTarget(const QUrl& url, QLatin1String path)
{
    return url.toString() == path || (url.isLocalFile() && QDir::cleanPath(url.toLocalFile()) == path);
}

} // namespace

DesktopWorkspace::DesktopWorkspace(QString saverPath, QString runtimeDirectory)
    : saverPath_(saverPath.isEmpty() ? saverToolPath() : std::move(saverPath))
    , runtimeDirectory_(runtimeDirectory.isEmpty()
              ? qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/quorvel")
              : std::move(runtimeDirectory))
{
    // Without XDG_RUNTIME_DIR the folder would land in the file system root.
    if (runtimeDirectory_ == QLatin1String("/quorvel"))
        runtimeDirectory_ = QDir::tempPath() + QStringLiteral("/quorvel-runtime-") + qEnvironmentVariable("USER");
}

bool DesktopWorkspace::openURL(const QUrl& url)
{
    if (url.toString() == kSettingsUrl)
        return QProcess::startDetached(saverPath_, { QStringLiteral("--settings") });
    if (sameTarget(url, kScreenSaverEnginePath))
        return QProcess::startDetached(saverPath_, {});
    return QDesktopServices::openUrl(url);
}

bool DesktopWorkspace::openApplication(const QString& bundlePath, const QStringList& arguments)
{
    const auto bundle = detail::readBundle(bundlePath);
    if (!bundle || bundle->executablePath.isEmpty())
        return false;
    return QProcess::startDetached(bundle->executablePath, arguments, bundle->bundlePath);
}

QList<RunningApplication> DesktopWorkspace::runningApplications() const
{
    QList<RunningApplication> running;
    if (!isOwnFolder(runtimeDirectory_, true))
        return running;
    const QDir folder(runtimeDirectory_);
    const QStringList names = folder.entryList({ QStringLiteral("*") + kRuntimeSuffix }, QDir::Files);
    for (const QString& name : names) {
        const QString path = folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject object = QJsonDocument::fromJson(file.read(64 * 1024)).object();
        file.close();
        const qint64 pid = object.value(QStringLiteral("pid")).toInteger();
        const QString identifier = object.value(QStringLiteral("bundleIdentifier")).toString();
        const auto startTime = detail::processStartTime(pid);
        const QString recordedStart = object.value(QStringLiteral("startTime")).toString();
        // A dead pid, or a live pid that now belongs to another process, is a leftover of a crash.
        const bool reused = startTime && !recordedStart.isEmpty() && recordedStart != QString::number(*startTime);
        if (identifier.isEmpty() || !detail::processIsAlive(pid) || reused) {
            QFile::remove(path);
            continue;
        }
        running.append({ identifier, object.value(QStringLiteral("bundlePath")).toString(), pid });
    }
    return running;
}

bool DesktopWorkspace::terminate(qint64 pid)
{
    // kill() with 0 or a negative pid signals whole process groups; never that.
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), SIGTERM) == 0;
}

bool DesktopWorkspace::isTerminated(qint64 pid) const
{
    return !detail::processIsAlive(pid);
}

std::unique_ptr<RunningDeclaration> DesktopWorkspace::declareRunning(
    const QString& bundleIdentifier, const QString& bundlePath)
{
    const qint64 pid = QCoreApplication::applicationPid();
    if (!QDir().mkpath(runtimeDirectory_))
        return std::make_unique<NoDeclaration>();
    if (!isOwnFolder(runtimeDirectory_, false)
        || !QFile::setPermissions(
            runtimeDirectory_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return std::make_unique<NoDeclaration>();

    QJsonObject object { { QStringLiteral("bundleIdentifier"), bundleIdentifier },
        { QStringLiteral("bundlePath"), bundlePath }, { QStringLiteral("pid"), pid } };
    if (const auto startTime = detail::processStartTime(pid))
        object.insert(QStringLiteral("startTime"), QString::number(*startTime));
    const QString path = runtimeDirectory_ + QLatin1Char('/') + runtimeFileName(pid, bundleIdentifier);
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return std::make_unique<NoDeclaration>();
    return std::make_unique<RuntimeFileDeclaration>(path);
}

} // namespace quorvel::platform
