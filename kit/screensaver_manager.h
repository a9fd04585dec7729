#pragma once
// The wallpaper store as far as screensavers go: which module is active where, and making a module
// active for a target through the guarded write. Before system version 14.0 it works on the legacy
// screensaver preferences instead. Stateless: every call reads the store afresh.

#include "kit/kit_environment.h"
#include "kit/records.h"

#include <QCoroTask>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace quorvel::kit {

class ScreensaverManager {
public:
    explicit ScreensaverManager(std::shared_ptr<KitEnvironment> env);
    virtual ~ScreensaverManager() = default;

    // Requirements 0-10 of the screensaver interface.
    QCoro::Task<> setScreensaver(
        QString module, std::optional<ScreenIdentifier> screen, bool skipRestart, bool enableDebug);
    std::optional<ScreensaverInfo> getActiveScreensaver(std::optional<ScreenIdentifier> screen) const;
    // Distinct module names, sorted.
    QStringList getActiveScreensavers() const;
    void setIdleTime(qint64 seconds);
    std::optional<qint64> getIdleTime() const;
    QCoro::Task<QList<ScreensaverModule>> listAvailableScreensavers() const;
    QCoro::Task<> setScreensaverForSpaceID(
        QString module, qint64 spaceID, std::optional<ScreenIdentifier> screen, bool skipRestart, bool enableDebug);
    QCoro::Task<> setScreensaverForSpace(
        QString module, QString spaceUUID, std::optional<ScreenIdentifier> screen, bool skipRestart, bool enableDebug);
    QCoro::Task<> setScreensaverEverywhere(QString module, bool skipRestart, bool enableDebug);
    QCoro::Task<> setScreensaverForDisplay(QString module, int displayNumber, bool skipRestart, bool enableDebug);
    QCoro::Task<> setScreensaverForDisplaySpace(
        QString module, int displayNumber, int spaceNumber, bool skipRestart, bool enableDebug);

    // Module lookup: "<dir>/<name>.saver", then ".appex", in each search folder; then the registry.
    QCoro::Task<std::optional<QString>> findModuleURL(QString name) const;
    // The configuration bytes for a module bundle of the given kind.
    QByteArray createScreensaverConfiguration(const QString& modulePath, ScreensaverType type) const;
    // Throws plistReadError "binary data" when the bytes are not a dictionary.
    std::optional<QString> decodeScreensaverConfiguration(const QByteArray& bytes) const;
    QVariantMap makeScreensaverChoice(const QByteArray& configuration) const;
    // The module a space shows: absent when the store cannot be read or names none.
    std::optional<QString> activeModuleName(const QString& spaceUUID) const;
    // The same for a store already read, with the display list already taken.
    std::optional<QString> moduleNameIn(
        const QVariantMap& store, const QString& spaceUUID, const QList<DisplayInfo>& displays) const;

    // Space queries.
    QVariantMap getNativeSpaceTree() const { return env_->spaces->nativeSpaceTree(); }
    QList<SpaceInfo> getAllSpaces(bool includeHistorical) const;
    std::optional<SpaceInfo> getActiveSpace() const;
    std::optional<SpaceInfo> space(qint64 spaceID) const;
    QList<DisplayInfo> displays() const { return env_->spaces->displays(); }

    // Writes the store, restarts the agent, waits, verifies and rolls back when the store does not
    // name `expectedModule` for `target`. A completed rollback throws changeRolledBack().
    QCoro::Task<> writeWithAutoRollback(QVariantMap store, QString path, bool restartAgent, bool enableDebug,
        std::optional<QString> expectedModule, std::optional<ScreensaverTarget> target, double settleSeconds);
    bool verifyScreensaverApplied(const QString& expected, const ScreensaverTarget& target) const;

    static bool isValidSpaceUUID(const QString& uuid);
    const std::shared_ptr<KitEnvironment>& environment() const { return env_; }

private:
    struct Prepared {
        QVariantMap store;
        QByteArray configuration;
    };
    QCoro::Task<Prepared> prepare(QString module) const;
    // One store edit: the legacy preferences on older systems, otherwise read, `edit`, and the guarded
    // write, all under the store's write lock. `edit` returns where the change must show when verified.
    QCoro::Task<> editStore(
        QString module, bool skipRestart, bool enableDebug, std::function<ScreensaverTarget(Prepared&)> edit);
    // Puts the choice into a space's default slot and into its slots for `displayUUIDs`.
    void setSpaceEntry(QVariantMap& store, const QString& spaceKey, const QStringList& displayUUIDs,
        const QByteArray& configuration) const;
    QStringList connectedDisplayUUIDs() const;
    QCoro::Task<> applyToSpace(QString module, QString spaceKey, std::optional<QString> displayUUID,
        ScreensaverTarget target, bool skipRestart, bool enableDebug);
    void applyToDisplay(QVariantMap& store, const QVariantMap& monitor, const QByteArray& configuration) const;
    void legacyWrite(const QString& module, const std::optional<QString>& path);
    QCoro::Task<> legacySet(QString module);
    std::optional<QString> legacyModuleName() const;
    std::optional<QString> screenUUID(const std::optional<ScreenIdentifier>& screen) const;
    std::optional<QVariantMap> monitorWithNumber(qint64 displayNumber) const;
    void restartWallpaperAgent() const;
    void debug(bool enabled, const QString& line) const;
    void say(const QString& line) const { env_->print(line); }

    std::shared_ptr<KitEnvironment> env_;
};

} // namespace quorvel::kit
