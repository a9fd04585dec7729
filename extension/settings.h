#pragma once
// The extension's user-defaults keys, each in one place with its default and typed accessors.

#include "platform/preferences.h"

#include <memory>

namespace quorvel::extension::settings {

inline constexpr const char* kVolumeKey = "volume";
inline constexpr double kDefaultVolume = 0.3;

// The app-group suite, or the extension's standard suite when the group cannot be opened.
std::shared_ptr<platform::PreferenceSuite> sharedSuite(platform::Preferences& preferences);

// The stored playback volume: a number under "volume", else 0.3; clamped to 0..1.
double storedVolume(platform::Preferences& preferences);
void setStoredVolume(platform::Preferences& preferences, double volume);

} // namespace quorvel::extension::settings
