// The child program of the tests that need a second process.
//   kit_store_rewriter STORE_PATH
//       rewrites a store in a loop until killed (crash safety);
//   kit_store_rewriter --hold STORE_PATH MILLISECONDS
//       takes the store's lock, says "locked", keeps it that long, then marks the store
//       ("HeldBy" = its pid) and lets go (another program editing the same store);
//   kit_store_rewriter --space STATE_DIR DISPLAY_UUID GO_FILE
//       says "ready", waits for GO_FILE to exist, then prints the space UUID that the synthesised
//       spaces give the display (several programs meeting a new display at once).
#include "kit/kit_environment.h"
#include "kit/plist_manager.h"
#include "kit_fixtures.h"
#include "platform/spaces.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

namespace {

void say(const QString& line)
{
    std::puts(line.toUtf8().constData());
    std::fflush(stdout);
}

int rewriteForever(const QString& path)
{
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
    say(QStringLiteral("ready"));
    for (quint64 i = 0;; ++i)
        plist.write(i % 2 ? big : small, path);
}

int holdAndMark(const QString& path, int milliseconds)
{
    auto env = std::make_shared<quorvel::kit::KitEnvironment>();
    env->plist = std::make_shared<quorvel::kit::PlistManager>();
    const auto lock = quorvel::kit::StoreLock::acquireBlocking(env, path);
    say(QStringLiteral("locked"));
    QThread::msleep(milliseconds);
    QVariantMap store = env->plist->read(path);
    store.insert(QStringLiteral("HeldBy"), QCoreApplication::applicationPid());
    env->plist->write(store, path);
    return 0;
}

int spaceOf(const QString& stateDirectory, const QString& displayUUID, const QString& goFile)
{
    auto screens = std::make_shared<quorvel::kit::fixtures::FakeScreens>();
    screens->list = { quorvel::kit::fixtures::FakeScreens::screen(1, displayUUID, true) };
    quorvel::platform::SynthesizedSpaces spaces(screens, stateDirectory);
    say(QStringLiteral("ready"));
    while (!QFileInfo::exists(goFile))
        QThread::usleep(200);
    say(quorvel::kit::fixtures::dig(spaces.spacesDocument(),
        { "SpacesDisplayConfiguration", "Management Data", "Monitors", 0, "Current Space", "uuid" })
            .toString());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1)
        return rewriteForever(args[0]);
    if (args.size() == 3 && args[0] == QStringLiteral("--hold"))
        return holdAndMark(args[1], args[2].toInt());
    if (args.size() == 4 && args[0] == QStringLiteral("--space"))
        return spaceOf(args[1], args[2], args[3]);
    return 2;
}
