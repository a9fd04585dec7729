#pragma once
// A whole kit over a temporary home: injected screens, spaces documents, registry, clock, sleeper
// and printed lines, with the store path and the module bundles the tests use.

#include "kit/kit_environment.h"
#include "kit/screensaver_manager.h"
#include "kit_fixtures.h"
#include "support/coro.h"
#include "support/fake_platform.h"
#include "support/files.h"
#include "support/manual_clock.h"
#include "support/memory_preferences.h"

#include <QCoroTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

namespace quorvel::kit::fixtures {

using namespace Qt::StringLiterals;

using quorvel::testing::await;

using FixedOperatingSystem = quorvel::testing::FakeOperatingSystem;

// Records each wait; runs `duringWait` in a settle wait (the moment the agent would rewrite the
// store), not in the short polls for a store lock; really yields to the event loop when `yield` is
// set so overlapping operations (and other processes) can interleave.
class HookSleeper final : public platform::Sleeper {
public:
    QCoro::Task<bool> sleep(std::chrono::milliseconds duration) override
    {
        waits.push_back(duration);
        if (yield)
            co_await QCoro::sleepFor(std::chrono::milliseconds(5));
        if (duringWait && duration >= std::chrono::seconds(1))
            duringWait();
        co_return true;
    }
    void schedule(std::chrono::milliseconds, QObject*, std::function<void()> action) override { action(); }
    void sleepBlocking(std::chrono::milliseconds duration) override { waits.push_back(duration); }

    std::vector<std::chrono::milliseconds> waits;
    std::function<void()> duringWait;
    bool yield = false;
};

inline const QString kMain = u"37D8832A-2D66-02CA-B9F7-8F30A301B230"_s;
inline const QString kSecond = u"9C1E2A77-8B3D-4C5E-A1F2-0D3E4F5A6B7C"_s;
inline QString spaceUUID(int n)
{
    return u"0B9E5D0A-1F35-4F43-9B5A-6A3E7C1F%1"_s.arg(n, 4, 10, QLatin1Char('0'));
}

struct KitFixture {
    QTemporaryDir home;
    std::shared_ptr<FixedOperatingSystem> os = std::make_shared<FixedOperatingSystem>();
    std::shared_ptr<quorvel::testing::MemoryPreferences> preferences
        = std::make_shared<quorvel::testing::MemoryPreferences>();
    std::shared_ptr<FakeScreens> screens = std::make_shared<FakeScreens>();
    std::shared_ptr<ScriptedProcessRunner> runner = std::make_shared<ScriptedProcessRunner>();
    std::shared_ptr<quorvel::testing::ManualClock> clock = std::make_shared<quorvel::testing::ManualClock>();
    std::shared_ptr<HookSleeper> sleeper = std::make_shared<HookSleeper>();
    QStringList printed;
    std::shared_ptr<KitEnvironment> env = std::make_shared<KitEnvironment>();

    KitFixture()
    {
        env->plist = std::make_shared<PlistManager>();
        env->paths = std::make_shared<SystemPaths>(os, home.path(), QStringList {});
        env->spaces = std::make_shared<SpacesConfiguration>(preferences, screens);
        env->pluginkit = std::make_shared<PluginkitManager>(runner, u"/opt/quorvel-pluginkit"_s);
        env->preferences = preferences;
        env->runner = runner;
        env->sleeper = sleeper;
        env->clock = clock;
        env->killallPath = u"/usr/bin/killall"_s;
        env->print = [this](const QString& line) { printed.append(line); };
        QDir().mkpath(modulesDir() + u"/Flurry.saver"_s);
        QDir().mkpath(modulesDir() + u"/QuorvelExtension.appex"_s);
    }

    QString modulesDir() const { return home.path() + u"/Library/Screen Savers"_s; }
    QString storePath() const { return env->paths->wallpaperIndexPath(); }
    static QString display(int i)
    {
        return i == 0 ? kMain : i == 1 ? kSecond : u"00000000-0000-0000-0000-%1"_s.arg(i, 12, 10, QLatin1Char('0'));
    }

    // One monitor per entry, each with `counts[i]` spaces numbered on from the previous ones; the
    // spaces documents go to the preferences, and `store` (when given) gets a matching wallpaper store.
    void arrange(const QList<int>& counts, bool store = true)
    {
        QVariantList monitors;
        QList<MonitorSpec> specs;
        screens->list.clear();
        for (int i = 0, n = 0; i < counts.size(); ++i) {
            screens->list.append(FakeScreens::screen(quint32(i + 1), display(i), i == 0));
            QVariantList spaces;
            specs.append({ display(i), {} });
            for (int s = 0; s < counts[i]; ++s, ++n) {
                spaces.append(QVariantMap { { u"ManagedSpaceID"_s, qint64(n + 1) }, { u"id64"_s, qint64(n + 1) },
                    { u"uuid"_s, spaceUUID(n + 1) } });
                specs.last().spaceUUIDs.append(spaceUUID(n + 1));
            }
            monitors.append(QVariantMap { { u"Display Identifier"_s, i == 0 ? u"Main"_s : display(i) },
                { u"Current Space"_s, spaces.isEmpty() ? QVariant(QVariantMap {}) : spaces.first() },
                { u"Spaces"_s, spaces } });
        }
        preferences->suite(u"com.apple.spaces"_s)
            ->setValue(u"SpacesDisplayConfiguration"_s,
                QVariantMap { { u"Management Data"_s, QVariantMap { { u"Monitors"_s, monitors } } } });
        initial = realisticStore(specs);
        if (store)
            writeStore(initial);
    }

    void writeStore(const QVariantMap& store) { writeBytes(binary(store)); }
    void writeBytes(const QByteArray& bytes) { quorvel::testing::writeFile(storePath(), bytes); }
    QByteArray storeBytes() const { return quorvel::testing::readFile(storePath()); }
    QVariantMap store() const { return env->plist->read(storePath()); }

    QVariantMap initial; // the store arrange() made
};

} // namespace quorvel::kit::fixtures
