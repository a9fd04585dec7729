#pragma once
// Tells when another process changed a preference suite, so a long-running process (the idle
// agent) follows a setting without being restarted.

#include "platform/preferences.h"

#include <QObject>

#include <memory>

namespace quorvel::platform {

class PreferenceWatcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // The suite's stored content may have changed (written in place or replaced whole); read it again.
    void changed();
};

// A watcher of the file behind `suite` (one opened by FilePreferences); for a suite kept anywhere
// else, a watcher that never fires.
std::unique_ptr<PreferenceWatcher> watchPreferenceSuite(
    const std::shared_ptr<PreferenceSuite>& suite, QObject* parent = nullptr);

} // namespace quorvel::platform
