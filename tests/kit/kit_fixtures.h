#pragma once
// Shared fixtures of the kit tests: realistic wallpaper stores, fake screens and a scripted process runner.

#include "kit/errors.h"
#include "kit/plist_codec.h"
#include "platform/process_runner.h"
#include "platform/screens.h"

#include <QDateTime>
#include <QTimeZone>
#include <QVariantMap>

#include <deque>
#include <functional>
#include <optional>

namespace quorvel::kit::fixtures {

inline QDateTime fixedDate(int seconds = 0)
{
    return QDateTime(QDate(2024, 5, 17), QTime(9, 30, 12), QTimeZone::utc()).addSecs(seconds);
}

inline QByteArray binary(const QVariantMap& map)
{
    return *serializeBinaryPlist(map).bytes;
}

// A wallpaper choice as the system writes it: configuration bytes, dates, keys this kit never reads.
inline QVariantMap choice(const QString& provider, const QByteArray& configuration, QVariantMap content, int age)
{
    const QVariantMap c { { QStringLiteral("Configuration"), configuration },
        { QStringLiteral("Files"), QVariantList {} }, { QStringLiteral("Provider"), provider } };
    content.insert(QStringLiteral("Choices"), QVariantList { c });
    return { { QStringLiteral("Content"), content }, { QStringLiteral("LastSet"), fixedDate(-age) },
        { QStringLiteral("LastUse"), fixedDate(60 - age) } };
}

// A screensaver choice with the given configuration bytes (by default, ones naming `moduleUrl`).
inline QVariantMap screensaverChoice(const QString& moduleUrl, std::optional<QByteArray> configuration = {})
{
    return choice(QStringLiteral("com.apple.wallpaper.choice.screen-saver"),
        configuration.value_or(
            binary({ { QStringLiteral("module"), QVariantMap { { QStringLiteral("relative"), moduleUrl } } } })),
        { { QStringLiteral("Shuffle"), QStringLiteral("$null") } }, 0);
}

inline QVariantMap desktopChoice(const QString& imageUrl)
{
    return choice(QStringLiteral("com.apple.wallpaper.choice.image"),
        binary({ { QStringLiteral("type"), QStringLiteral("imageFile") },
            { QStringLiteral("url"), QVariantMap { { QStringLiteral("relative"), imageUrl } } } }),
        { { QStringLiteral("EncodedOptionValues"), QByteArray("\x62\x70\x6c\x69\x73\x74opaque", 14) } }, 3600);
}

inline QVariantMap slot(QVariantMap s)
{
    s.insert(QStringLiteral("Type"), QStringLiteral("individual"));
    return s;
}

struct MonitorSpec {
    QString displayUUID;
    QStringList spaceUUIDs;
};

// A store with spaces: every space has a "Default" slot and a per-display slot with a wallpaper
// (and, given a module, a screensaver), plus keys this kit never reads, at every level.
inline QVariantMap realisticStore(const QList<MonitorSpec>& monitors, const QString& idleModuleUrl = {})
{
    const QVariantMap sonoma { { QStringLiteral("Desktop"),
        desktopChoice(QStringLiteral("file:///Library/Desktop%20Pictures/Sonoma.heic")) } };
    QVariantMap spaces;
    for (const MonitorSpec& monitor : monitors)
        for (const QString& space : monitor.spaceUUIDs) {
            QVariantMap def = slot(sonoma);
            if (!idleModuleUrl.isEmpty())
                def.insert(QStringLiteral("Idle"), screensaverChoice(idleModuleUrl));
            const QString picture
                = QStringLiteral("file:///Users/me/Pictures/") + space.left(4) + QStringLiteral(".heic");
            spaces.insert(space,
                QVariantMap { { QStringLiteral("Default"), def },
                    { QStringLiteral("Displays"),
                        QVariantMap { { monitor.displayUUID,
                            slot({ { QStringLiteral("Desktop"), desktopChoice(picture) } }) } } },
                    { QStringLiteral("FutureSpaceKey"), QVariantList { qint64(-7), 2.5, true } } });
        }
    return { { QStringLiteral("AllSpacesAndDisplays"), slot(sonoma) },
        { QStringLiteral("SystemDefault"),
            slot({ { QStringLiteral("Linked"), desktopChoice(QStringLiteral("file:///System/Default.heic")) },
                { QStringLiteral("UnknownSlotKey"), qint64(4294967296) } }) },
        { QStringLiteral("Spaces"), spaces }, { QStringLiteral("StoreVersion"), qint64(3) },
        { QStringLiteral("UnknownRootDate"), fixedDate(123) },
        { QStringLiteral("UnknownRootData"), QByteArray("\x00\x01\x02\xff", 4) } };
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
        s.localizedName = name.isEmpty() ? QStringLiteral("Screen %1").arg(number) : name;
        return s;
    }
};

// Answers run() from a queue of prepared results (success when empty) and records every call.
class ScriptedProcessRunner final : public platform::ProcessRunner {
public:
    struct Call {
        QString program;
        QStringList arguments;
    };
    QCoro::Task<platform::ProcessResult> run(QString program, QStringList arguments, std::chrono::milliseconds) override
    {
        runs.push_back({ program, arguments });
        if (onRun)
            onRun();
        platform::ProcessResult r = results.empty() ? finished(0, {}) : results.front();
        if (!results.empty())
            results.pop_front();
        co_return r;
    }
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        detached.push_back({ program, arguments });
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
    std::vector<Call> runs, detached;
    std::function<void()> onRun; // while the tool "runs", e.g. another program touching the store
};

// The exact message of what `f` throws, so a table row can pin it.
template <typename F> QString errorOf(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return describeError(e);
    }
    return QStringLiteral("<no error>");
}

} // namespace quorvel::kit::fixtures
