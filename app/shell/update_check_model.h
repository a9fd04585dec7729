#pragma once
// What the small updates window says: a check in progress, up to date, a newer version with its
// link, or why the check failed. The launch check speaks up only when there is a newer version.

#include "platform/updater.h"

#include <QObject>
#include <QString>
#include <QUrl>

namespace quorvel::platform {
class Workspace;
}

namespace quorvel::app {

class UpdateCheckModel final : public QObject {
    Q_OBJECT
public:
    enum class State { idle, checking, upToDate, updateAvailable, failed };
    Q_ENUM(State)

    // `updater` and `workspace` must outlive the model. The versions are the running build's.
    UpdateCheckModel(
        platform::Updater& updater, platform::Workspace& workspace, QString shortVersion, QObject* parent = nullptr);

    State state() const { return state_; }
    QString headline() const;
    QString detail() const;
    // The newer version's download page (empty unless one is available).
    QUrl downloadUrl() const { return result_.downloadUrl; }
    QString downloadButtonText() const { return QStringLiteral("Download…"); }

    // Backs "Check for Updates…": asks the updater and shows the window at once.
    void checkForUpdates();
    // Opens the newer version's link in the browser.
    void openDownload();

signals:
    void changed();
    // The window should come to the front.
    void presentRequested();

private:
    void finished(const platform::UpdateCheckResult& result);

    platform::Updater& updater_;
    platform::Workspace& workspace_;
    QString shortVersion_;
    State state_ = State::idle;
    platform::UpdateCheckResult result_;
};

} // namespace quorvel::app
