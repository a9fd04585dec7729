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

using namespace Qt::StringLiterals;

inline QDateTime fixedDate(int seconds = 0)
{
    return QDateTime(QDate(2024, 5, 17), QTime(9, 30, 12), QTimeZone::utc()).addSecs(seconds);
}

// The value at `path` inside nested maps (a text step) and lists (a number step); invalid when absent.
inline QVariant dig(QVariant value, const QVariantList& path)
{
    for (const QVariant& step : path)
        value = step.typeId() == QMetaType::Int ? value.toList().value(step.toInt())
                                                : value.toMap().value(step.toString());
    return value;
}

inline QByteArray binary(const QVariantMap& map)
{
    return *serializeBinaryPlist(map).bytes;
}

// A wallpaper choice as the system writes it: configuration bytes, dates, keys this kit never reads.
inline QVariantMap choice(const QString& provider, const QByteArray& configuration, QVariantMap content, int age)
{
    const QVariantMap c { { u"Configuration"_s, configuration }, { u"Files"_s, QVariantList {} },
        { u"Provider"_s, provider } };
    content.insert(u"Choices"_s, QVariantList { c });
    return { { u"Content"_s, content }, { u"LastSet"_s, fixedDate(-age) }, { u"LastUse"_s, fixedDate(60 - age) } };
}

// A screensaver choice with the given configuration bytes (by default, ones naming `moduleUrl`).
inline QVariantMap screensaverChoice(const QString& moduleUrl, std::optional<QByteArray> configuration = {})
{
    return choice(u"com.apple.wallpaper.choice.screen-saver"_s,
        configuration.value_or(binary({ { u"module"_s, QVariantMap { { u"relative"_s, moduleUrl } } } })),
        { { u"Shuffle"_s, u"$null"_s } }, 0);
}

inline QVariantMap desktopChoice(const QString& imageUrl)
{
    return choice(u"com.apple.wallpaper.choice.image"_s,
        binary({ { u"type"_s, u"imageFile"_s }, { u"url"_s, QVariantMap { { u"relative"_s, imageUrl } } } }),
        { { u"EncodedOptionValues"_s, QByteArray("\x62\x70\x6c\x69\x73\x74opaque", 14) } }, 3600);
}

inline QVariantMap slot(QVariantMap s)
{
    s.insert(u"Type"_s, u"individual"_s);
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
    const QVariantMap sonoma { { u"Desktop"_s, desktopChoice(u"file:///Library/Desktop%20Pictures/Sonoma.heic"_s) } };
    QVariantMap spaces;
    for (const MonitorSpec& monitor : monitors)
        for (const QString& space : monitor.spaceUUIDs) {
            QVariantMap def = slot(sonoma);
            if (!idleModuleUrl.isEmpty())
                def.insert(u"Idle"_s, screensaverChoice(idleModuleUrl));
            const QString picture = u"file:///Users/me/Pictures/"_s + space.left(4) + u".heic"_s;
            spaces.insert(space,
                QVariantMap { { u"Default"_s, def },
                    { u"Displays"_s,
                        QVariantMap { { monitor.displayUUID, slot({ { u"Desktop"_s, desktopChoice(picture) } }) } } },
                    { u"FutureSpaceKey"_s, QVariantList { qint64(-7), 2.5, true } } });
        }
    return { { u"AllSpacesAndDisplays"_s, slot(sonoma) },
        { u"SystemDefault"_s,
            slot({ { u"Linked"_s, desktopChoice(u"file:///System/Default.heic"_s) },
                { u"UnknownSlotKey"_s, qint64(4294967296) } }) },
        { u"Spaces"_s, spaces }, { u"StoreVersion"_s, qint64(3) }, { u"UnknownRootDate"_s, fixedDate(123) },
        { u"UnknownRootData"_s, QByteArray("\x00\x01\x02\xff", 4) } };
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
        s.localizedName = name.isEmpty() ? u"Screen %1"_s.arg(number) : name;
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
    return u"<no error>"_s;
}

} // namespace quorvel::kit::fixtures
