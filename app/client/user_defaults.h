#pragma once
// The app's user-defaults keys that the service client reads or writes, each with its default.

#include <QString>

namespace quorvel::platform {
class PreferenceSuite;
}

namespace quorvel::app::defaults {

// Boolean, standard suite; off unless the developer turned it on.
inline const QString debugModeKey = QStringLiteral("debugMode");

bool debugMode(const platform::PreferenceSuite& suite);
void setDebugMode(platform::PreferenceSuite& suite, bool on);

} // namespace quorvel::app::defaults
