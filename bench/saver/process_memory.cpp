#include "bench/saver/process_memory.h"

#include <QByteArray>
#include <QFile>

namespace quorvel::bench {
namespace {

long statusField(const char* name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

long residentKilobytes()
{
    return statusField("VmRSS:");
}

long peakResidentKilobytes()
{
    return statusField("VmHWM:");
}

bool resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace quorvel::bench
