#include "extension/settings.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvel::extension::settings {

std::shared_ptr<platform::PreferenceSuite> sharedSuite(platform::Preferences& preferences)
{
    if (auto suite = preferences.suite(QLatin1String(platform::kSharedSuiteName)))
        return suite;
    return preferences.standard();
}

double storedVolume(platform::Preferences& preferences)
{
    const auto suite = sharedSuite(preferences);
    if (!suite)
        return kDefaultVolume;
    const QVariant value = suite->value(QLatin1String(kVolumeKey));
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        const double volume = value.toDouble();
        if (std::isnan(volume))
            return kDefaultVolume;
        return std::clamp(volume, 0.0, 1.0);
    }
    default:
        return kDefaultVolume;
    }
}

void setStoredVolume(platform::Preferences& preferences, double volume)
{
    const auto suite = sharedSuite(preferences);
    if (!suite)
        return;
    suite->setValue(QLatin1String(kVolumeKey), std::clamp(volume, 0.0, 1.0));
    suite->synchronize();
}

qint64 cacheLimitBytes(platform::Preferences& preferences)
{
    constexpr qint64 kMegabyte = qint64(1) << 20;
    // Beyond this the product in bytes would overflow; no disk is that large anyway.
    constexpr qint64 kLargest = std::numeric_limits<qint64>::max() / kMegabyte;
    const auto suite = sharedSuite(preferences);
    const QVariant value = suite ? suite->value(QLatin1String(kCacheLimitKey)) : QVariant();
    bool ok = false;
    const qint64 megabytes = value.toLongLong(&ok);
    if (!ok || megabytes < 1 || megabytes > kLargest)
        return kDefaultCacheLimitMegabytes * kMegabyte;
    return megabytes * kMegabyte;
}

} // namespace quorvel::extension::settings
