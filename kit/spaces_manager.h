#pragma once
// Readers of the spaces preferences and the window server's display sets. Nothing here throws:
// missing or malformed preferences give empty lists or absent values.

#include "kit/records.h"

#include <QSet>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace quorvel::platform {
class Preferences;
}

namespace quorvel::kit {

class SpacesManager {
public:
    explicit SpacesManager(std::shared_ptr<platform::Preferences> preferences);
    // "SpacesDisplayConfiguration" of the spaces preferences; empty when missing or malformed.
    QVariantMap displayConfiguration() const;
    // "Management Data" → "Monitors", keeping only dictionaries.
    QList<QVariantMap> monitors() const;
    QList<MissionControlSpace> getMissionControlSpaces() const;

private:
    std::shared_ptr<platform::Preferences> preferences_;
};

class WindowServerDisplayManager {
public:
    explicit WindowServerDisplayManager(std::shared_ptr<platform::Preferences> preferences);
    std::optional<QVariantMap> displaySets() const;
    // The configuration with the highest "ConfigVersion" counts as the current one.
    QList<WindowServerDisplayConfig> displayConfigs() const;
    QSet<QString> getAllKnownDisplayUUIDs() const;

private:
    std::shared_ptr<platform::Preferences> preferences_;
};

} // namespace quorvel::kit
