#include "platform/linux/preference_file_suite.h"
#include "platform/preference_watcher.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <sys/stat.h>

namespace quorvel::platform {
namespace {

struct Stamp {
    qint64 inode = -1;
    qint64 modifiedNs = 0;
    qint64 size = -1;
    bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const QString& path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return { qint64(info.st_ino), qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
        qint64(info.st_size) };
}

// Suites are written whole to a temporary file and renamed over the old one, which a watch on the
// file alone loses; the folder's watch sees the rename, the file's watch sees writes in place.
class FileWatcher final : public PreferenceWatcher {
public:
    FileWatcher(QString path, QObject* parent)
        : PreferenceWatcher(parent)
        , path_(std::move(path))
        , stamp_(stampOf(path_))
    {
        const QString folder = QFileInfo(path_).absolutePath();
        QDir().mkpath(folder);
        watcher_.addPath(folder);
        if (QFileInfo::exists(path_))
            watcher_.addPath(path_);
        connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &FileWatcher::look);
        connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &FileWatcher::look);
    }

private:
    void look()
    {
        // A renamed-in file is a new inode: watch that one from now on.
        if (QFileInfo::exists(path_) && !watcher_.files().contains(path_))
            watcher_.addPath(path_);
        const Stamp now = stampOf(path_);
        if (now == stamp_)
            return;
        stamp_ = now;
        emit changed();
    }

    QString path_;
    Stamp stamp_;
    QFileSystemWatcher watcher_;
};

} // namespace

std::unique_ptr<PreferenceWatcher> watchPreferenceSuite(const std::shared_ptr<PreferenceSuite>& suite, QObject* parent)
{
    if (const auto* file = dynamic_cast<const detail::PreferenceFileSuite*>(suite.get()))
        return std::make_unique<FileWatcher>(file->path(), parent);
    return std::make_unique<PreferenceWatcher>(parent);
}

} // namespace quorvel::platform
