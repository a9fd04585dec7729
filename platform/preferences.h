#pragma once
// User defaults (named suites) and preference domains. Values keep their types (integers,
// doubles, booleans, strings, dates, bytes, lists, maps) across a write and a read.

#include <QString>
#include <QVariant>

#include <memory>

namespace quorvel::platform {

class Spaces;

class PreferenceSuite {
public:
    virtual ~PreferenceSuite() = default;
    // An invalid QVariant when the key is absent.
    virtual QVariant value(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;
    // Writes pending changes and reloads changes of other processes; false when the store cannot be written.
    virtual bool synchronize() = 0;
};

// The app-group suite that the app and the extension both reach.
inline constexpr const char* kSharedSuiteName = "group.com.quorvel.shared";

class Preferences {
public:
    virtual ~Preferences() = default;
    // A named suite such as "group.com.quorvel.shared"; null when it cannot be opened.
    virtual std::shared_ptr<PreferenceSuite> suite(const QString& name) = 0;
    // The running deliverable's own standard suite.
    virtual std::shared_ptr<PreferenceSuite> standard() = 0;
    // A preference domain of the current user; `currentHostOnly` selects the per-host variant.
    virtual std::shared_ptr<PreferenceSuite> domain(const QString& name, bool currentHostOnly) = 0;
};

// One file per suite or domain under `directory` (default: $XDG_CONFIG_HOME/quorvel/Preferences),
// written whole and renamed into place. The domains "com.apple.spaces" and
// "com.apple.windowserver.displays" are synthesised by `spaces` when one is given.
class FilePreferences final : public Preferences {
public:
    FilePreferences(QString standardSuiteName, QString directory = {}, std::shared_ptr<Spaces> spaces = {});
    std::shared_ptr<PreferenceSuite> suite(const QString& name) override;
    std::shared_ptr<PreferenceSuite> standard() override;
    std::shared_ptr<PreferenceSuite> domain(const QString& name, bool currentHostOnly) override;

    static QString defaultDirectory();

private:
    QString standardSuiteName_;
    QString directory_;
    std::shared_ptr<Spaces> spaces_;
};

} // namespace quorvel::platform
