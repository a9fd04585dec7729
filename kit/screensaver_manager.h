#pragma once
// The wallpaper store as far as screensavers go: which module is active where, and making a module
// active for a target through the guarded write. Before system version 14.0 it works on the legacy
// screensaver preferences instead. Stateless: every call reads the store afresh.

#include "kit/kit_environment.h"
#include "kit/managing.h"
#include "kit/records.h"

#include <QCoroTask>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace quorvel::kit {

class ScreensaverManager : public ScreensaverManaging, public SpaceManaging {
public:
    explicit ScreensaverManager(std::shared_ptr<KitEnvironment> env);

    // Set operations (screensaver_set_operations.cpp). A module name must be a plain bundle name:
    // an empty one fails with invalidConfiguration, one with "/" or ".." with screensaverNotFound.
    QCoro::Task<> setScreensaver(
        QString module, std::optional<ScreenIdentifier> screen, WriteOptions options = {}) override;
    QCoro::Task<> setScreensaverForSpaceID(
        QString module, qint64 spaceID, std::optional<ScreenIdentifier> screen, WriteOptions options = {}) override;
    QCoro::Task<> setScreensaverForSpace(
        QString module, QString spaceUUID, std::optional<ScreenIdentifier> screen, WriteOptions options = {}) override;
    QCoro::Task<> setScreensaverEverywhere(QString module, WriteOptions options = {}) override;
    QCoro::Task<> setScreensaverForDisplay(QString module, int displayNumber, WriteOptions options = {}) override;
    QCoro::Task<> setScreensaverForDisplaySpace(
        QString module, int displayNumber, int spaceNumber, WriteOptions options = {}) override;
    void setIdleTime(qint64 seconds) override;

    // Queries (screensaver_manager.cpp).
    std::optional<ScreensaverInfo> getActiveScreensaver(std::optional<ScreenIdentifier> screen) const override;
    QStringList getActiveScreensavers() const override;
    std::optional<qint64> getIdleTime() const override;
    // The module a space shows: absent when the store cannot be read or names none.
    std::optional<QString> activeModuleName(const QString& spaceUUID) const;
    // The same for a store already read, with the display list already taken.
    std::optional<QString> moduleNameIn(
        const QVariantMap& store, const QString& spaceUUID, const QList<DisplayInfo>& displays) const;
    // The screensaver choice (the first of "Content" → "Choices") that decides what a space shows:
    // "AllSpacesAndDisplays", then the space's "Default", then its display slots in display-list
    // order, then "SystemDefault". Every reader of the store, the saver host's included, goes here.
    std::optional<QVariantMap> screensaverChoiceIn(
        const QVariantMap& store, const QString& spaceUUID, const QList<DisplayInfo>& displays) const;
    // The current space of the display with this UUID (compared without case); the empty space key
    // when the arrangement has no monitors at all; absent when no monitor is that display.
    std::optional<QString> currentSpaceOfDisplay(const QString& displayUUID) const;

    // Modules and configurations (screensaver_configuration.cpp).
    QCoro::Task<QList<ScreensaverModule>> listAvailableScreensavers() const override;
    // "<dir>/<name>.saver", then ".appex", in each search folder; then the registry. Absent for a
    // name that is not a plain bundle name: it never becomes a path.
    QCoro::Task<std::optional<QString>> findModuleURL(QString name) const;
    // The configuration bytes for a module bundle of the given kind.
    QByteArray createScreensaverConfiguration(const QString& modulePath, ScreensaverType type) const;
    // Throws plistReadError "binary data" when the bytes are not a dictionary.
    std::optional<QString> decodeScreensaverConfiguration(const QByteArray& bytes) const;
    QVariantMap makeScreensaverChoice(const QByteArray& configuration) const;
    // Non-empty, without "/" and without "..".
    static bool isPlainModuleName(const QString& name);

    // Space queries.
    QVariantMap getNativeSpaceTree() const override { return env_->spaces->nativeSpaceTree(); }
    QList<SpaceInfo> getAllSpaces(bool includeHistorical) const override;
    std::optional<SpaceInfo> getActiveSpace() const override;
    std::optional<SpaceInfo> space(qint64 spaceID) const override;
    QList<DisplayInfo> displays() const override { return env_->spaces->displays(); }

    // The guarded write (guarded_write.h) with this manager's verification.
    QCoro::Task<> writeWithAutoRollback(QVariantMap store, QString path, WriteOptions options,
        std::optional<QString> expectedModule, std::optional<ScreensaverTarget> target, double settleSeconds);
    bool verifyScreensaverApplied(const QString& expected, const ScreensaverTarget& target) const;

    static bool isValidSpaceUUID(const QString& uuid);
    const std::shared_ptr<KitEnvironment>& environment() const { return env_; }

private:
    struct Prepared {
        QVariantMap store;
        QByteArray basis; // the bytes the store was read from
        QByteArray configuration;
    };
    // Reads the store and builds the module's configuration; throws as the set operations do.
    QCoro::Task<Prepared> prepare(QString module) const;
    // One store edit: the legacy preferences on older systems, otherwise read, `edit`, and the guarded
    // write, all under the store's lock. `edit` returns where the change must show when verified.
    QCoro::Task<> editStore(QString module, WriteOptions options, std::function<ScreensaverTarget(Prepared&)> edit);
    // Puts the choice into a space's default slot and into its slots for `displayUUIDs`.
    void setSpaceEntry(QVariantMap& store, const QString& spaceKey, const QStringList& displayUUIDs,
        const QByteArray& configuration) const;
    // Before a narrower choice: the everywhere slot's choice moves down into every live space that
    // has none of its own, then leaves that slot, so it no longer hides the narrower one.
    void retireEverywhereChoice(QVariantMap& store) const;
    QStringList connectedDisplayUUIDs() const;
    QCoro::Task<> applyToSpace(QString module, QString spaceKey, std::optional<QString> displayUUID,
        ScreensaverTarget target, WriteOptions options);
    void applyToDisplay(QVariantMap& store, const QVariantMap& monitor, const QByteArray& configuration) const;
    void legacyWrite(const QString& module, const std::optional<QString>& path);
    QCoro::Task<> legacySet(QString module);
    std::optional<QString> legacyModuleName() const;
    std::optional<QVariantMap> monitorWithNumber(qint64 displayNumber) const;

    std::shared_ptr<KitEnvironment> env_;
};

} // namespace quorvel::kit
