#include "app/client/user_defaults.h"

namespace quorvel::app {

namespace defaults {

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

} // namespace defaults

UserDefaults::UserDefaults(platform::PreferenceSuite& suite, QObject* parent)
    : QObject(parent)
    , suite_(suite)
{
}

void UserDefaults::setValue(const QString& key, const QVariant& value)
{
    const QVariant before = suite_.value(key);
    suite_.setValue(key, value);
    // A value of another type is a change even when it compares equal (true and 1).
    if (before.typeId() != value.typeId() || before != value)
        emit valueChanged(key);
}

void UserDefaults::remove(const QString& key)
{
    const bool existed = suite_.value(key).isValid();
    suite_.remove(key);
    if (existed)
        emit valueChanged(key);
}

} // namespace quorvel::app
