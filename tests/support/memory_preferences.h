#pragma once
// Preferences held in memory; suites and domains are shared maps so tests can look inside.

#include "platform/preferences.h"

#include <QMap>

namespace quorvel::testing {

class MemoryPreferenceSuite final : public platform::PreferenceSuite {
public:
    QVariant value(const QString& key) const override { return values.value(key); }
    void setValue(const QString& key, const QVariant& value) override { values.insert(key, value); }
    void remove(const QString& key) override { values.remove(key); }
    bool synchronize() override { return !failSynchronize; }

    QVariantMap values;
    bool failSynchronize = false;
};

class MemoryPreferences final : public platform::Preferences {
public:
    std::shared_ptr<platform::PreferenceSuite> suite(const QString& name) override
    {
        if (unavailableSuites.contains(name))
            return nullptr;
        return entry(QStringLiteral("suite:") + name);
    }
    std::shared_ptr<platform::PreferenceSuite> standard() override { return entry(QStringLiteral("standard")); }
    std::shared_ptr<platform::PreferenceSuite> domain(const QString& name, bool currentHostOnly) override
    {
        return entry((currentHostOnly ? QStringLiteral("host:") : QStringLiteral("domain:")) + name);
    }

    std::shared_ptr<MemoryPreferenceSuite> entry(const QString& key)
    {
        auto& slot = suites[key];
        if (!slot)
            slot = std::make_shared<MemoryPreferenceSuite>();
        return slot;
    }

    QMap<QString, std::shared_ptr<MemoryPreferenceSuite>> suites;
    QStringList unavailableSuites;
};

} // namespace quorvel::testing
