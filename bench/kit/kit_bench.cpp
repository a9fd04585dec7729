// Sets a module everywhere on a store of 8 displays x 16 spaces: read, edit, binary write (with
// its backup), checksum and verification, with no settle wait; Python's plistlib does the same
// read-edit-write-check in this run, round for round in turn with ours. Prints both medians and
// their ratio, and one RESULT line for bench/run.
#include "kit/kit_environment.h"
#include "kit/plist_codec.h"
#include "kit/screensaver_manager.h"
#include "platform/clock.h"
#include "platform/operating_system.h"
#include "platform/preferences.h"
#include "platform/process_runner.h"
#include "platform/screens.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

using namespace quorvel;

namespace {

constexpr int kDisplays = 8, kSpaces = 16, kRounds = 41;

struct Suite final : platform::PreferenceSuite {
    QVariantMap values;
    QVariant value(const QString& key) const override { return values.value(key); }
    void setValue(const QString& key, const QVariant& value) override { values.insert(key, value); }
    void remove(const QString& key) override { values.remove(key); }
    bool synchronize() override { return true; }
};

struct Preferences final : platform::Preferences {
    QMap<QString, std::shared_ptr<Suite>> suites;
    std::shared_ptr<platform::PreferenceSuite> get(const QString& name)
    {
        auto& s = suites[name];
        if (!s)
            s = std::make_shared<Suite>();
        return s;
    }
    std::shared_ptr<platform::PreferenceSuite> suite(const QString& name) override { return get(name); }
    std::shared_ptr<platform::PreferenceSuite> standard() override { return get(QStringLiteral("standard")); }
    std::shared_ptr<platform::PreferenceSuite> domain(const QString& name, bool host) override
    {
        return get((host ? QStringLiteral("host:") : QStringLiteral("domain:")) + name);
    }
};

struct Screens final : platform::Screens {
    QList<platform::ScreenDescription> list;
    QList<platform::ScreenDescription> screens() const override { return list; }
};

struct NoProcesses final : platform::ProcessRunner {
    QCoro::Task<platform::ProcessResult> run(QString, QStringList, std::chrono::milliseconds) override
    {
        co_return platform::ProcessResult {};
    }
    bool startDetached(const QString&, const QStringList&) override { return true; }
};

struct NoWait final : platform::Sleeper {
    QCoro::Task<bool> sleep(std::chrono::milliseconds) override { co_return true; }
    void schedule(std::chrono::milliseconds, QObject*, std::function<void()> action) override { action(); }
    void sleepBlocking(std::chrono::milliseconds) override { }
};

struct Version14 final : platform::OperatingSystem {
    platform::OperatingSystemVersion version() const override { return { 14, 0, 0 }; }
    std::optional<platform::BundleInfo> mainBundle() const override { return std::nullopt; }
    std::optional<platform::BundleInfo> bundle(const QString&) const override { return std::nullopt; }
};

QString uuid(int a, int b)
{
    return QStringLiteral("0B9E5D0A-1F35-4F43-%1-%2").arg(a, 4, 10, QLatin1Char('0')).arg(b, 12, 10, QLatin1Char('0'));
}

QVariantMap wallpaper(int n)
{
    const QByteArray config = *kit::serializeBinaryPlist(
        QVariantMap { { QStringLiteral("type"), QStringLiteral("imageFile") },
            { QStringLiteral("url"),
                QVariantMap {
                    { QStringLiteral("relative"), QStringLiteral("file:///Users/me/Pictures/%1.heic").arg(n) } } } })
                                   .bytes;
    const QVariantMap choice { { QStringLiteral("Configuration"), config },
        { QStringLiteral("Files"), QVariantList {} },
        { QStringLiteral("Provider"), QStringLiteral("com.apple.wallpaper.choice.image") } };
    const QDateTime when = QDateTime::fromSecsSinceEpoch(1700000000 + n, Qt::UTC);
    return { { QStringLiteral("Content"), QVariantMap { { QStringLiteral("Choices"), QVariantList { choice } } } },
        { QStringLiteral("LastSet"), when }, { QStringLiteral("LastUse"), when } };
}

template <typename T> T wait(QCoro::Task<T>&& task)
{
    return QCoro::waitFor(std::move(task));
}
void wait(QCoro::Task<>&& task)
{
    QCoro::waitFor(std::move(task));
}

// Sorts `values` and returns their median.
double median(std::vector<double>& values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    auto preferences = std::make_shared<Preferences>();
    auto screens = std::make_shared<Screens>();
    QVariantList monitors;
    QVariantMap spaces;
    for (int d = 0; d < kDisplays; ++d) {
        platform::ScreenDescription screen;
        screen.displayNumber = quint32(d + 1);
        screen.uuid = QStringLiteral("DISPLAY0-0000-0000-0000-%1").arg(d, 12, 10, QLatin1Char('0'));
        screen.isMain = d == 0;
        screens->list.append(screen);
        QVariantList monitorSpaces;
        for (int s = 0; s < kSpaces; ++s) {
            const qint64 id = d * kSpaces + s + 1;
            monitorSpaces.append(QVariantMap { { QStringLiteral("ManagedSpaceID"), id }, { QStringLiteral("id64"), id },
                { QStringLiteral("uuid"), uuid(d, s) } });
            spaces.insert(uuid(d, s),
                QVariantMap { { QStringLiteral("Default"),
                                  QVariantMap { { QStringLiteral("Type"), QStringLiteral("individual") },
                                      { QStringLiteral("Desktop"), wallpaper(int(id)) } } },
                    { QStringLiteral("Displays"),
                        QVariantMap { { screen.uuid,
                            QVariantMap { { QStringLiteral("Type"), QStringLiteral("individual") },
                                { QStringLiteral("Desktop"), wallpaper(int(id) + 1000) } } } } } });
        }
        monitors.append(QVariantMap {
            { QStringLiteral("Display Identifier"), d == 0 ? QStringLiteral("Main") : screen.uuid },
            { QStringLiteral("Current Space"), monitorSpaces.first() }, { QStringLiteral("Spaces"), monitorSpaces } });
    }
    preferences->suite(QStringLiteral("com.apple.spaces"))
        ->setValue(QStringLiteral("SpacesDisplayConfiguration"),
            QVariantMap {
                { QStringLiteral("Management Data"), QVariantMap { { QStringLiteral("Monitors"), monitors } } } });

    auto env = std::make_shared<kit::KitEnvironment>();
    auto runner = std::make_shared<NoProcesses>();
    env->plist = std::make_shared<kit::PlistManager>();
    env->paths = std::make_shared<kit::SystemPaths>(std::make_shared<Version14>(), home.path(), QStringList {});
    env->spaces = std::make_shared<kit::SpacesConfiguration>(preferences, screens);
    env->pluginkit = std::make_shared<kit::PluginkitManager>(runner, QStringLiteral("/nonexistent"));
    env->preferences = preferences;
    env->runner = runner;
    env->sleeper = std::make_shared<NoWait>();
    env->clock = std::make_shared<platform::SystemClock>();
    env->print = [](const QString&) {};
    QDir().mkpath(home.path() + QStringLiteral("/Library/Screen Savers/QuorvelExtension.appex"));
    const QVariantMap initial { { QStringLiteral("AllSpacesAndDisplays"),
                                    QVariantMap { { QStringLiteral("Type"), QStringLiteral("individual") } } },
        { QStringLiteral("SystemDefault"), QVariantMap { { QStringLiteral("Type"), QStringLiteral("individual") } } },
        { QStringLiteral("Spaces"), spaces } };
    const QString store = env->paths->wallpaperIndexPath();
    kit::ScreensaverManager manager(env);

    // The peer edits its own copy, so neither side reads what the other wrote.
    const QString peerStore = home.filePath(QStringLiteral("peer/Index.plist"));
    QDir().mkpath(QFileInfo(peerStore).absolutePath());
    QProcess python;
    const QString moduleUrl
        = QUrl::fromLocalFile(home.path() + QStringLiteral("/Library/Screen Savers/QuorvelExtension.appex")).toString();
    python.start(QStringLiteral("python3"), { QStringLiteral(QUORVEL_BENCH_SCRIPT), peerStore, moduleUrl });
    if (!python.waitForStarted(30000)) {
        std::fprintf(stderr, "kit_bench: python3 could not be started\n");
        return 1;
    }
    auto peerRound = [&]() -> std::optional<double> {
        env->plist->write(initial, peerStore);
        python.write("round\n");
        while (!python.canReadLine())
            if (!python.waitForReadyRead(60000))
                return std::nullopt;
        bool ok = false;
        const double seconds = python.readLine().trimmed().toDouble(&ok);
        return ok ? std::optional<double>(seconds) : std::nullopt;
    };
    auto ourRound = [&] {
        env->plist->write(initial, store);
        QElapsedTimer timer;
        timer.start();
        wait(manager.setScreensaverEverywhere(QStringLiteral("QuorvelExtension")));
        return double(timer.nsecsElapsed()) / 1e9;
    };

    // One unmeasured round each, then the two take turns, so both see the same machine load.
    ourRound();
    std::vector<double> ours, peer;
    for (int round = 0; round <= kRounds; ++round) {
        const double our = ourRound();
        const std::optional<double> their = peerRound();
        if (!their) {
            std::fprintf(
                stderr, "kit_bench: the plistlib peer failed: %s\n", python.readAllStandardError().constData());
            return 1;
        }
        if (round > 0) {
            ours.push_back(our);
            peer.push_back(*their);
        }
    }
    python.closeWriteChannel();
    python.waitForFinished(10000);
    const double ourMedian = median(ours), peerMedian = median(peer);
    const double ratio = peerMedian > 0 ? ourMedian / peerMedian : 0.0;
    const qint64 storeSize = QFileInfo(store).size();
    std::printf("set everywhere, %d displays x %d spaces (store %lld bytes), median of %d rounds taking turns\n",
        kDisplays, kSpaces, static_cast<long long>(storeSize), kRounds);
    std::printf("  TessaryKit:       %8.2f ms (%.2f-%.2f)\n", ourMedian * 1e3, ours.front() * 1e3, ours.back() * 1e3);
    std::printf("  Python plistlib:  %8.2f ms (%.2f-%.2f)\n", peerMedian * 1e3, peer.front() * 1e3, peer.back() * 1e3);
    std::printf("  ratio (ours / plistlib): %.2f (target <= 0.50)\n", ratio);
    std::printf("RESULT\tkit: set everywhere, %dx%d store\t%.2f ms\t%.2f ms\t%.2f\t<= 0.50\t%s\n", kDisplays, kSpaces,
        ourMedian * 1e3, peerMedian * 1e3, ratio, ratio <= 0.50 ? "yes" : "no");
    return 0;
}
