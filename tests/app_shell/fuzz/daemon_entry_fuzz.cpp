// libFuzzer target for the edit of the desktop daemon's settings file: whatever the user's file
// holds, the edit ends with our entry listed, a second edit changes nothing, and every line of the
// user's file but one (the list's first) is still there.
#include "platform/screensaver_daemon.h"

#include <QHash>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

const QByteArray kSaver = "/opt/q/quorvel-saver";
const QByteArray kEntry = "\"Quorvel\"  /opt/q/quorvel-saver";

QList<QByteArray> lines(const QByteArray& bytes)
{
    return bytes.split('\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quorvel::platform;
    if (size > 64 * 1024)
        return 0;
    const QByteArray user(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray once = detail::withSaverEntry(user, kEntry, kSaver);
    if (!once.contains(kSaver))
        std::abort(); // the host is not listed afterwards
    if (detail::withSaverEntry(once, kEntry, kSaver) != once)
        std::abort(); // a second click changed the file again
    // The user's lines survive; only one (the list's first, or a switched-off entry of ours) may
    // have changed.
    QHash<QByteArray, int> missing;
    for (const QByteArray& line : lines(user))
        ++missing[line];
    for (const QByteArray& line : lines(once))
        --missing[line];
    int lost = 0;
    for (const int count : std::as_const(missing))
        lost += count > 0 ? count : 0;
    if (lost > 1)
        std::abort(); // more than one of the user's lines lost or altered
    return 0;
}
