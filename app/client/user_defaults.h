#pragma once
// The app's user defaults (standard suite): the keys the app reads or writes, each with its
// default, and the one observable object every window reads them through.

#include "platform/preferences.h"

#include <QObject>
#include <QString>

namespace quorvel::app {

namespace defaults {

// Boolean; off unless the developer turned it on.
inline const QString debugModeKey = QStringLiteral("debugMode");

bool debugMode(const platform::PreferenceSuite& suite);
void setDebugMode(platform::PreferenceSuite& suite, bool on);

} // namespace defaults

// The standard suite shared by every window and check of the process: a value set through it is
// announced at once, so a window never shows a setting another window or a check has changed.
class UserDefaults final : public QObject, public platform::PreferenceSuite {
    Q_OBJECT
public:
    // `suite` must outlive this object.
    explicit UserDefaults(platform::PreferenceSuite& suite, QObject* parent = nullptr);

    QVariant value(const QString& key) const override { return suite_.value(key); }
    // Announces `key` when its stored value differs from before.
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    bool synchronize() override { return suite_.synchronize(); }

signals:
    void valueChanged(const QString& key);

private:
    platform::PreferenceSuite& suite_;
};

} // namespace quorvel::app
