// This platform has no virtual desktops of that kind: one monitor per connected screen, one
// space per monitor. A space's UUID and number are made once per display and kept in a small
// JSON file, so the wallpaper store's per-space entries stay valid across runs.
#include "platform/spaces.h"

#include "platform/file_lock.h"
#include "platform/screens.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>

namespace quorvel::platform {

namespace {

QString defaultStateDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/quorvel/Preferences");
}

struct SpaceIdentity {
    QString uuid;
    qint64 id = 0;
};

// The identities saved so far, and the next free space number.
QMap<QString, SpaceIdentity> load(const QString& file, qint64* nextId)
{
    QMap<QString, SpaceIdentity> known;
    QJsonObject root;
    QFile in(file);
    if (in.open(QIODevice::ReadOnly))
        root = QJsonDocument::fromJson(in.readAll()).object();
    const QJsonObject displays = root.value(QStringLiteral("displays")).toObject();
    *nextId = 1;
    for (auto it = displays.begin(); it != displays.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        const SpaceIdentity identity { o.value(QStringLiteral("uuid")).toString(),
            o.value(QStringLiteral("id")).toInteger() };
        if (QUuid::fromString(identity.uuid).isNull() || identity.id <= 0)
            continue;
        known.insert(it.key(), identity);
        *nextId = std::max(*nextId, identity.id + 1);
    }
    return known;
}

bool knowsAll(const QMap<QString, SpaceIdentity>& known, const QList<ScreenDescription>& screens)
{
    return std::all_of(
        screens.begin(), screens.end(), [&](const ScreenDescription& screen) { return known.contains(screen.uuid); });
}

// Display UUID → the space made for it; new displays get a new space, saved at once. Extending
// happens under "<file>.lock" with a fresh read, so two programs meeting a new display at once
// (the application and the saver) agree on its space instead of each saving its own.
QMap<QString, SpaceIdentity> loadAndExtend(const QString& file, const QList<ScreenDescription>& screens)
{
    qint64 nextId = 1;
    QMap<QString, SpaceIdentity> known = load(file, &nextId);
    if (knowsAll(known, screens))
        return known;
    QDir().mkpath(QFileInfo(file).absolutePath());
    FileLock lock(file + QStringLiteral(".lock"));
    // The holder only reads and writes a small file; failing that, go on unlocked rather than hang.
    lock.lock(std::chrono::seconds(10));
    known = load(file, &nextId);
    if (knowsAll(known, screens))
        return known;
    for (const ScreenDescription& screen : screens)
        if (!known.contains(screen.uuid))
            known.insert(screen.uuid, { QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), nextId++ });
    QJsonObject out;
    for (auto it = known.begin(); it != known.end(); ++it)
        out.insert(it.key(), QJsonObject { { QStringLiteral("uuid"), it->uuid }, { QStringLiteral("id"), it->id } });
    QSaveFile save(file);
    if (save.open(QIODevice::WriteOnly)) {
        save.write(QJsonDocument(QJsonObject { { QStringLiteral("displays"), out } }).toJson());
        save.commit(); // unsaved identities are made again next time; the store then gains a new space
    }
    return known;
}

} // namespace

SynthesizedSpaces::SynthesizedSpaces(std::shared_ptr<Screens> screens, QString stateDirectory)
    : screens_(std::move(screens))
    , stateDirectory_(stateDirectory.isEmpty() ? defaultStateDirectory() : std::move(stateDirectory))
{
}

QVariantMap SynthesizedSpaces::spacesDocument()
{
    const QList<ScreenDescription> screens = screens_ ? screens_->screens() : QList<ScreenDescription> {};
    const auto identities = loadAndExtend(stateDirectory_ + QStringLiteral("/spaces-synthesized.json"), screens);
    QVariantList monitors;
    for (const ScreenDescription& screen : screens) {
        const SpaceIdentity identity = identities.value(screen.uuid);
        const QVariantMap space { { QStringLiteral("ManagedSpaceID"), identity.id },
            { QStringLiteral("id64"), identity.id }, { QStringLiteral("type"), qint64(0) },
            { QStringLiteral("uuid"), identity.uuid } };
        monitors.append(QVariantMap {
            { QStringLiteral("Display Identifier"), screen.isMain ? QStringLiteral("Main") : screen.uuid },
            { QStringLiteral("Current Space"), space },
            { QStringLiteral("Spaces"), QVariantList { space } },
        });
    }
    const QVariantMap management { { QStringLiteral("Monitors"), monitors } };
    return { { QStringLiteral("SpacesDisplayConfiguration"),
        QVariantMap { { QStringLiteral("Management Data"), management } } } };
}

QVariantMap SynthesizedSpaces::windowServerDisplaysDocument()
{
    const QList<ScreenDescription> screens = screens_ ? screens_->screens() : QList<ScreenDescription> {};
    QVariantList displays;
    QVariantList known;
    for (const ScreenDescription& screen : screens) {
        displays.append(QVariantMap {
            { QStringLiteral("UUID"), screen.uuid },
            { QStringLiteral("CurrentInfo"),
                QVariantMap { { QStringLiteral("Wide"), qint64(screen.pixelSize.width()) },
                    { QStringLiteral("High"), qint64(screen.pixelSize.height()) },
                    { QStringLiteral("Scale"), qint64(screen.backingScale) },
                    { QStringLiteral("Hz"), qint64(screen.refreshRate) } } },
        });
        known.append(screen.uuid);
    }
    const QVariantMap config { { QStringLiteral("ConfigVersion"), qint64(1) },
        { QStringLiteral("DisplayConfig"), displays } };
    const QVariantMap sets { { QStringLiteral("Configs"), QVariantList { config } },
        { QStringLiteral("Underscan"), known } };
    return { { QStringLiteral("DisplaySets"), sets } };
}

} // namespace quorvel::platform
