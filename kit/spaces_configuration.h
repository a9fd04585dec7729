#pragma once
// The live arrangement of monitors and spaces, normalised into the "monitors" dictionary that the
// store editing works on, plus the kit's display list. Combines the spaces preferences, the
// window server's display sets and the platform's connected screens.

#include "kit/records.h"
#include "kit/spaces_manager.h"

#include <QVariantMap>

#include <memory>
#include <optional>

namespace quorvel::platform {
class Screens;
struct ScreenDescription;
}

namespace quorvel::kit {

class SpacesConfiguration {
public:
    SpacesConfiguration(std::shared_ptr<platform::Preferences> preferences, std::shared_ptr<platform::Screens> screens);

    // {"monitors": [{"name", "uuid", "display_number", "spaces": [{"space_number", "id",
    // "managed_id", "uuid", "is_current"}]}]}; space numbers count from 1 across all monitors.
    QVariantMap nativeSpaceTree() const;
    // Connected screens in platform order, then displays known only to the window server.
    QList<DisplayInfo> displays() const;
    QList<platform::ScreenDescription> screens() const;
    std::optional<platform::ScreenDescription> mainScreen() const;
    // The UUID of the screen with this display number; none when not connected.
    std::optional<QString> displayUUID(quint32 displayNumber) const;
    QList<MissionControlSpace> missionControlSpaces() const { return spaces_.getMissionControlSpaces(); }

private:
    SpacesManager spaces_;
    WindowServerDisplayManager windowServer_;
    std::shared_ptr<platform::Screens> screens_;
};

} // namespace quorvel::kit
