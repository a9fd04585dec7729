#pragma once
// Shared fixtures of the kit tests: realistic wallpaper stores, fake screens, a scripted process
// runner, and a runner that really starts programs (for the registry tool).

#include "kit/plist_codec.h"
#include "platform/process_runner.h"
#include "platform/screens.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QVariantMap>

#include <deque>

namespace quorvel::kit::fixtures {

inline QDateTime fixedDate(int seconds = 0)
{
    return QDateTime(QDate(2024, 5, 17), QTime(9, 30, 12, 250), QTimeZone::utc()).addSecs(seconds);
}

inline QByteArray binary(const QVariantMap& map) { return *serializeBinaryPlist(map).bytes; }

// A screensaver choice as the system writes it: configuration bytes, dates, an unknown key.
inline QVariantMap screensaverChoice(const QString& moduleUrl)
{
    const QVariantMap configuration{{QStringLiteral("module"), QVariantMap{{QStringLiteral("relative"), moduleUrl}}}};
    const QVariantMap choice{{QStringLiteral("Configuration"), binary(configuration)},
                             {QStringLiteral("Files"), QVariantList{}},
                             {QStringLiteral("Provider"), QStringLiteral("com.apple.wallpaper.choice.screen-saver")}};
    return {{QStringLiteral("Content"), QVariantMap{{QStringLiteral("Choices"), QVariantList{choice}},
                                                   {QStringLiteral("Shuffle"), QStringLiteral("$null")}}},
            {QStringLiteral("LastSet"), fixedDate()},
            {QStringLiteral("LastUse"), fixedDate(60)}};
}

inline QVariantMap desktopChoice(const QString& imageUrl)
{
    const QVariantMap configuration{{QStringLiteral("type"), QStringLiteral("imageFile")},
                                    {QStringLiteral("url"), QVariantMap{{QStringLiteral("relative"), imageUrl}}}};
    const QVariantMap choice{{QStringLiteral("Configuration"), binary(configuration)},
                             {QStringLiteral("Files"), QVariantList{}},
                             {QStringLiteral("Provider"), QStringLiteral("com.apple.wallpaper.choice.image")}};
    return {{QStringLiteral("Content"),
             QVariantMap{{QStringLiteral("Choices"), QVariantList{choice}},
                         {QStringLiteral("EncodedOptionValues"), QByteArray("\x62\x70\x6c\x69\x73\x74opaque", 14)}}},
            {QStringLiteral("LastSet"), fixedDate(-3600)},
            {QStringLiteral("LastUse"), fixedDate(-1800)}};
}

inline QVariantMap slot(const QVariantMap& extra = {})
{
    QVariantMap s{{QStringLiteral("Type"), QStringLiteral("individual")}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        s.insert(it.key(), it.value());
    return s;
}

struct MonitorSpec {
    QString displayUUID;
    QStringList spaceUUIDs;
};

// A store with spaces: every space has a "Default" slot and a per-display slot with a wallpaper,
// plus keys this kit never reads, at every level.
inline QVariantMap realisticStore(const QList<MonitorSpec>& monitors, const QString& idleModuleUrl = {})
{
    QVariantMap spaces;
    for (const MonitorSpec& monitor : monitors)
        for (const QString& space : monitor.spaceUUIDs) {
            QVariantMap displays{{monitor.displayUUID, slot({{QStringLiteral("Desktop"), desktopChoice(QStringLiteral("file:///Users/me/Pictures/") + space.left(4) + QStringLiteral(".heic"))}})}};
            QVariantMap entry{{QStringLiteral("Default"), slot({{QStringLiteral("Desktop"), desktopChoice(QStringLiteral("file:///Library/Desktop%20Pictures/Sonoma.heic"))}})},
                              {QStringLiteral("Displays"), displays},
                              {QStringLiteral("FutureSpaceKey"), QVariantList{qint64(-7), 2.5, true}}};
            if (!idleModuleUrl.isEmpty()) {
                QVariantMap def = entry.value(QStringLiteral("Default")).toMap();
                def.insert(QStringLiteral("Idle"), screensaverChoice(idleModuleUrl));
                entry.insert(QStringLiteral("Default"), def);
            }
            spaces.insert(space, entry);
        }
    return {{QStringLiteral("AllSpacesAndDisplays"),
             slot({{QStringLiteral("Desktop"), desktopChoice(QStringLiteral("file:///Library/Desktop%20Pictures/Sonoma.heic"))}})},
            {QStringLiteral("SystemDefault"), slot({{QStringLiteral("Linked"), desktopChoice(QStringLiteral("file:///System/Default.heic"))},
                                                    {QStringLiteral("UnknownSlotKey"), qint64(4294967296)}})},
            {QStringLiteral("Spaces"), spaces},
            {QStringLiteral("StoreVersion"), qint64(3)},
            {QStringLiteral("UnknownRootDate"), fixedDate(123)},
            {QStringLiteral("UnknownRootData"), QByteArray("\x00\x01\x02\xff", 4)}};
}

class FakeScreens final : public platform::Screens {
public:
    QList<platform::ScreenDescription> list;
    QList<platform::ScreenDescription> screens() const override { return list; }
    static platform::ScreenDescription screen(quint32 number, const QString& uuid, bool main, const QString& name = {})
    {
        platform::ScreenDescription s;
        s.displayNumber = number;
        s.uuid = uuid;
        s.isMain = main;
        s.frame = QRectF(main ? 0 : 1920, 0, 1920, 1080);
        s.pixelSize = QSizeF(3840, 2160);
        s.backingScale = 2;
        s.refreshRate = 60;
        s.localizedName = name.isEmpty() ? QStringLiteral("Screen %1").arg(number) : name;
        return s;
    }
};

// Answers run() from a queue of prepared results and records every call.
class ScriptedProcessRunner final : public platform::ProcessRunner {
public:
    struct Call {
        QString program;
        QStringList arguments;
    };
    QCoro::Task<platform::ProcessResult> run(QString program, QStringList arguments, std::chrono::milliseconds) override
    {
        runs.push_back({program, arguments});
        if (results.empty()) {
            platform::ProcessResult ok;
            ok.started = true;
            ok.exitCode = 0;
            co_return ok;
        }
        platform::ProcessResult r = results.front();
        results.pop_front();
        co_return r;
    }
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        detached.push_back({program, arguments});
        return true;
    }
    static platform::ProcessResult finished(int status, const QByteArray& output)
    {
        platform::ProcessResult r;
        r.started = true;
        r.exitCode = status;
        r.output = output;
        return r;
    }

    std::deque<platform::ProcessResult> results;
    std::vector<Call> runs;
    std::vector<Call> detached;
};

// Starts real programs (blocking; the tools here finish in milliseconds).
class BlockingProcessRunner final : public platform::ProcessRunner {
public:
    QCoro::Task<platform::ProcessResult> run(QString program, QStringList arguments, std::chrono::milliseconds timeout) override
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        platform::ProcessResult r;
        if (!process.waitForStarted()) {
            r.errorText = process.errorString();
            co_return r;
        }
        r.started = true;
        if (!process.waitForFinished(int(timeout.count()))) {
            process.kill();
            process.waitForFinished();
            r.timedOut = true;
        }
        r.output = process.readAll();
        r.crashed = process.exitStatus() == QProcess::CrashExit;
        r.exitCode = process.exitCode();
        co_return r;
    }
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        return QProcess::startDetached(program, arguments);
    }
};

} // namespace quorvel::kit::fixtures
