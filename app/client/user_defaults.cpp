#include "app/client/user_defaults.h"

#include "platform/preferences.h"

namespace quorvel::app::defaults {

bool debugMode(const platform::PreferenceSuite& suite)
{
    const QVariant value = suite.value(debugModeKey);
    return value.typeId() == QMetaType::Bool && value.toBool();
}

void setDebugMode(platform::PreferenceSuite& suite, bool on)
{
    suite.setValue(debugModeKey, on);
    suite.synchronize();
}

} // namespace quorvel::app::defaults
