#include "app/shell/update_check_model.h"

#include "platform/workspace.h"

namespace quorvel::app {

UpdateCheckModel::UpdateCheckModel(
    platform::Updater& updater, platform::Workspace& workspace, QString shortVersion, QObject* parent)
    : QObject(parent)
    , updater_(updater)
    , workspace_(workspace)
    , shortVersion_(std::move(shortVersion))
{
    connect(&updater_, &platform::Updater::checkFinished, this, &UpdateCheckModel::finished);
}

QString UpdateCheckModel::headline() const
{
    switch (state_) {
    case State::idle:
        return {};
    case State::checking:
        return QStringLiteral("Checking for updates…");
    case State::upToDate:
        return QStringLiteral("You're up to date.");
    case State::updateAvailable:
        return QStringLiteral("A new version of Quorvel is available.");
    case State::failed:
        return QStringLiteral("Couldn't check for updates.");
    }
    return {};
}

QString UpdateCheckModel::detail() const
{
    switch (state_) {
    case State::idle:
    case State::checking:
        return {};
    case State::upToDate:
        return QStringLiteral("Quorvel %1 is the newest version.").arg(shortVersion_);
    case State::updateAvailable:
        return QStringLiteral("Quorvel %1 is available. You have %2.").arg(result_.latestVersion, shortVersion_);
    case State::failed:
        return result_.errorText;
    }
    return {};
}

void UpdateCheckModel::checkForUpdates()
{
    state_ = State::checking;
    result_ = {};
    emit changed();
    emit presentRequested();
    updater_.checkForUpdates();
}

void UpdateCheckModel::openDownload()
{
    if (state_ == State::updateAvailable && result_.downloadUrl.isValid())
        workspace_.openURL(result_.downloadUrl);
}

void UpdateCheckModel::finished(const platform::UpdateCheckResult& result)
{
    using Kind = platform::UpdateCheckResult::Kind;
    // The quiet launch check interrupts nobody unless it found something new.
    const bool asked = result.userInitiated || state_ == State::checking;
    if (!asked && result.kind != Kind::UpdateAvailable)
        return;
    result_ = result;
    switch (result.kind) {
    case Kind::UpToDate:
        state_ = State::upToDate;
        break;
    case Kind::UpdateAvailable:
        state_ = State::updateAvailable;
        break;
    case Kind::Failed:
        state_ = State::failed;
        break;
    }
    emit changed();
    emit presentRequested();
}

} // namespace quorvel::app
