// Rewrites a store in a loop until killed: the child of the crash-safety test.
// Usage: kit_store_rewriter STORE_PATH
#include "kit/plist_manager.h"
#include "kit_fixtures.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    quorvel::kit::PlistManager plist;
    QList<quorvel::kit::fixtures::MonitorSpec> monitors;
    for (int d = 0; d < 4; ++d) {
        quorvel::kit::fixtures::MonitorSpec monitor { QStringLiteral("DISPLAY-%1").arg(d), {} };
        for (int s = 0; s < 8; ++s)
            monitor.spaceUUIDs.append(QStringLiteral("SPACE-%1-%2").arg(d).arg(s));
        monitors.append(monitor);
    }
    const QVariantMap big = quorvel::kit::fixtures::realisticStore(monitors, QStringLiteral("file:///L/A.saver"));
    const QVariantMap small = quorvel::kit::fixtures::realisticStore({ monitors.first() });
    std::puts("ready");
    std::fflush(stdout);
    for (quint64 i = 0;; ++i)
        plist.write(i % 2 ? big : small, path);
}
