#include "extension/settings.h"

#include <algorithm>
#include <cmath>

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

} // namespace quorvel::extension::settings
