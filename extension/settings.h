#pragma once
// The extension's user-defaults keys, each in one place with its default and typed accessors.

#include "platform/preferences.h"

#include <memory>

namespace quorvel::extension::settings {

inline constexpr const char* kVolumeKey = "volume";
inline constexpr double kDefaultVolume = 0.3;
inline constexpr const char* kCacheLimitKey = "cacheLimitMegabytes";
inline constexpr qint64 kDefaultCacheLimitMegabytes = 2048;

// The app-group suite, or the extension's standard suite when the group cannot be opened.
std::shared_ptr<platform::PreferenceSuite> sharedSuite(platform::Preferences& preferences);

// The stored playback volume: a number under "volume", else 0.3; clamped to 0..1.
double storedVolume(platform::Preferences& preferences);
void setStoredVolume(platform::Preferences& preferences, double volume);

// The clip cache's limit in bytes: a whole number of megabytes of at least 1 under
// "cacheLimitMegabytes" (a number or its text), else 2048 MB.
qint64 cacheLimitBytes(platform::Preferences& preferences);

} // namespace quorvel::extension::settings
