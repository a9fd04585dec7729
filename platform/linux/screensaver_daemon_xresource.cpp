#include "platform/locations.h"
#include "platform/screensaver_daemon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QSaveFile>

namespace quorvel::platform {

namespace {

constexpr qint64 kLargestConfiguration = 4 * 1024 * 1024;

// The program list resource: "programs:", possibly with a class or instance prefix.
const QRegularExpression& programsResource()
{
    static const QRegularExpression pattern(QStringLiteral("^[ \\t]*(?:[A-Za-z0-9_.*?-]*[.*])?programs[ \\t]*:"));
    return pattern;
}

bool continues(const QByteArray& line)
{
    QByteArray body = line;
    while (body.endsWith('\n') || body.endsWith('\r'))
        body.chop(1);
    // An even run of backslashes is escaped text, not a continuation.
    qsizetype run = 0;
    while (run < body.size() && body.at(body.size() - 1 - run) == '\\')
        ++run;
    return run % 2 == 1;
}

// Whether `line` names `path` as a word of its own (not as part of a longer path).
bool names(const QByteArray& line, const QByteArray& path)
{
    const auto separator
        = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '\\' || c == '\n' || c == '\r'; };
    for (qsizetype at = line.indexOf(path); at >= 0; at = line.indexOf(path, at + 1)) {
        const qsizetype end = at + path.size();
        if ((at == 0 || separator(line.at(at - 1))) && (end == line.size() || separator(line.at(end))))
            return true;
    }
    return false;
}

QList<QByteArray> linesOf(const QByteArray& document)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < document.size()) {
        qsizetype end = document.indexOf('\n', start);
        end = end < 0 ? document.size() : end + 1;
        lines.append(document.mid(start, end - start));
        start = end;
    }
    return lines;
}

QString homeRelative(const QString& path)
{
    const QString home = QDir::homePath();
    return path.startsWith(home + QLatin1Char('/')) ? QStringLiteral("~") + path.mid(home.size()) : path;
}

} // namespace

namespace detail {

std::optional<QByteArray> saverProgramEntry(const QString& saverPath)
{
    const QByteArray path = QFile::encodeName(saverPath);
    if (path.isEmpty())
        return std::nullopt;
    for (const char c : path)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\')
            return std::nullopt;
    // The daemon hands the command to the shell: anything but plain path characters is quoted.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+-]+$"));
    QByteArray command = path;
    if (!plain.match(QString::fromUtf8(path)).hasMatch())
        command = '\'' + QByteArray(path).replace("'", "'\"'\"'") + '\'';
    return QByteArray("\"Quorvel\"  ") + command;
}

QByteArray withSaverEntry(const QByteArray& document, const QByteArray& entry, const QByteArray& saverPath)
{
    QList<QByteArray> lines = linesOf(document);
    qsizetype header = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (programsResource().match(QString::fromLatin1(lines.at(i))).hasMatch()) {
            header = i;
            break;
        }
    }
    if (header < 0) {
        QByteArray appended = document;
        if (!appended.isEmpty() && !appended.endsWith('\n'))
            appended += '\n';
        return appended + "programs:\t\\\n\t\t" + entry + " \\n\n";
    }

    // The list runs from its header over every continued line.
    qsizetype last = header;
    while (last + 1 < lines.size() && continues(lines.at(last)))
        ++last;
    const qsizetype colon = lines.at(header).indexOf(':');
    for (qsizetype i = header; i <= last; ++i) {
        const QByteArray& line = lines.at(i);
        const QByteArray body = i == header ? line.mid(colon + 1) : line;
        if (!names(body, saverPath))
            continue;
        // A switched-off entry begins with "-"; switching it on is what the user asked for.
        qsizetype first = 0;
        while (first < body.size() && (body.at(first) == ' ' || body.at(first) == '\t'))
            ++first;
        if (first == body.size() || body.at(first) != '-')
            return document;
        QByteArray switchedOn = body;
        // Every mark before the command goes, so the line reads as switched on from then on.
        for (qsizetype i = first; i < switchedOn.size(); ++i) {
            const char c = switchedOn.at(i);
            if (c == '-')
                switchedOn[i] = ' ';
            else if (c != ' ' && c != '\t')
                break;
        }
        lines[i] = i == header ? line.left(colon + 1) + switchedOn : switchedOn;
        return lines.join();
    }

    const QByteArray& headerLine = lines.at(header);
    QByteArray rest = headerLine.mid(colon + 1);
    const bool endsLine = rest.endsWith('\n');
    const QByteArray restBody = rest.trimmed();
    QByteArray replacement = headerLine.left(colon + 1) + "\t\\\n\t\t" + entry;
    if (restBody.isEmpty()) {
        // The list was empty: ours is its only entry.
        replacement += QByteArray(" \\n") + (endsLine ? "\n" : "");
    } else if (restBody == "\\") {
        replacement += " \\n\\\n";
    } else {
        replacement += " \\n\\\n\t\t" + restBody + (endsLine ? "\n" : "");
    }
    lines[header] = replacement;
    return lines.join();
}

} // namespace detail

XResourceScreensaverDaemon::XResourceScreensaverDaemon(QString configurationPath, QString saverPath)
    : configurationPath_(configurationPath.isEmpty() ? QDir::homePath() + QStringLiteral("/.xscreensaver")
                                                     : std::move(configurationPath))
    , saverPath_(saverPath.isEmpty() ? saverToolPath() : std::move(saverPath))
{
}

QString XResourceScreensaverDaemon::configurationName() const
{
    return homeRelative(configurationPath_);
}

DaemonEntryResult XResourceScreensaverDaemon::addSaverEntry()
{
    const auto failed = [](QString reason) { return DaemonEntryResult { DaemonEntryResult::Outcome::failed, reason }; };
    const std::optional<QByteArray> entry = detail::saverProgramEntry(saverPath_);
    if (!entry)
        return failed(QStringLiteral("the screensaver's path cannot be listed: %1").arg(saverPath_));

    // A linked configuration (kept with the user's other dotfiles) is edited where it lives.
    QString path = configurationPath_;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        path = info.canonicalFilePath();
        if (path.isEmpty())
            return failed(QStringLiteral("%1 links to a file that does not exist").arg(configurationName()));
    }

    if (QFileInfo(path).isDir())
        return failed(QStringLiteral("%1 is a folder").arg(configurationName()));
    QByteArray document;
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    QFile current(path);
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly))
            return failed(current.errorString());
        if (current.size() > kLargestConfiguration)
            return failed(QStringLiteral("%1 is too large to be a settings file").arg(configurationName()));
        document = current.readAll();
        permissions = current.permissions();
        current.close();
    }

    const QByteArray edited = detail::withSaverEntry(document, *entry, QFile::encodeName(saverPath_));
    if (current.exists() && edited == document)
        return { DaemonEntryResult::Outcome::alreadyListed, {} };

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    if (file.write(edited) != edited.size()) {
        file.cancelWriting();
        return failed(file.errorString());
    }
    file.setPermissions(permissions);
    if (!file.commit())
        return failed(file.errorString());
    return { DaemonEntryResult::Outcome::added, {} };
}

} // namespace quorvel::platform
