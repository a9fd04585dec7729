#include "platform/linux/process_table.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <cerrno>
#include <csignal>
#include <sys/types.h>

namespace quorvel::platform::detail {

namespace {

// The fields of /proc/<pid>/stat after the command name, which may itself hold spaces and parentheses.
std::optional<QList<QByteArray>> statFields(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = file.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    return line.mid(close + 2).trimmed().split(' ');
}

} // namespace

bool processIsAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return false;
    const auto fields = statFields(pid);
    // Without /proc we only know that the pid is taken.
    if (!fields)
        return true;
    return !fields->isEmpty() && fields->first() != "Z" && fields->first() != "X";
}

std::optional<quint64> processStartTime(qint64 pid)
{
    if (pid <= 0)
        return std::nullopt;
    const auto fields = statFields(pid);
    // Field 22 of the whole line; the list starts at field 3 (state).
    if (!fields || fields->size() < 20)
        return std::nullopt;
    bool ok = false;
    const quint64 ticks = fields->at(19).toULongLong(&ok);
    return ok ? std::optional<quint64>(ticks) : std::nullopt;
}

} // namespace quorvel::platform::detail
