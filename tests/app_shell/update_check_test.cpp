#include "app/shell/update_check_model.h"
#include "platform/updater.h"
#include "support/service_process.h"
#include "tests/app_shell/shell_doubles.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QSignalSpy>

namespace {

using quorvel::app::UpdateCheckModel;
using quorvel::platform::UpdateCheckResult;
using State = UpdateCheckModel::State;

UpdateCheckResult result(UpdateCheckResult::Kind kind, bool userInitiated)
{
    UpdateCheckResult r;
    r.kind = kind;
    r.userInitiated = userInitiated;
    r.latestVersion = "2.0.0";
    r.downloadUrl = kind == UpdateCheckResult::Kind::UpdateAvailable ? QUrl("http://127.0.0.1/releases/2.0.0") : QUrl();
    r.errorText = kind == UpdateCheckResult::Kind::Failed ? "The update server answered with status 500." : "";
    return r;
}

TEST(UpdateCheckModel, EachAnswerHasItsWordsAndOnlyNewsInterruptsALaunch)
{
    using Kind = UpdateCheckResult::Kind;
    const struct {
        const char* name;
        Kind kind;
        bool userInitiated;
        State state;
        int presented;
        QString headline;
        QString detail;
    } rows[] = {
        { "asked, up to date", Kind::UpToDate, true, State::upToDate, 2, "You're up to date.",
            "Quorvel 1.0.0 is the newest version." },
        { "asked, newer", Kind::UpdateAvailable, true, State::updateAvailable, 2,
            "A new version of Quorvel is available.", "Quorvel 2.0.0 is available. You have 1.0.0." },
        { "asked, failed", Kind::Failed, true, State::failed, 2, "Couldn't check for updates.",
            "The update server answered with status 500." },
        { "launch, up to date", Kind::UpToDate, false, State::idle, 0, "", "" },
        { "launch, failed", Kind::Failed, false, State::idle, 0, "", "" },
        { "launch, newer", Kind::UpdateAvailable, false, State::updateAvailable, 1,
            "A new version of Quorvel is available.", "Quorvel 2.0.0 is available. You have 1.0.0." },
    };
    for (const auto& row : rows) {
        quorvel::testing::ManualUpdater updater;
        quorvel::testing::ShellWorkspace workspace;
        UpdateCheckModel model(updater, workspace, "1.0.0");
        QSignalSpy presented(&model, &UpdateCheckModel::presentRequested);
        if (row.userInitiated) {
            model.checkForUpdates();
            EXPECT_EQ(model.state(), State::checking) << row.name;
            EXPECT_EQ(model.headline(), QStringLiteral("Checking for updates\u2026")) << row.name;
            EXPECT_EQ(updater.checks, 1) << row.name;
        }
        updater.answer(result(row.kind, row.userInitiated));
        EXPECT_EQ(model.state(), row.state) << row.name;
        EXPECT_EQ(presented.size(), row.presented) << row.name;
        EXPECT_EQ(model.headline(), row.headline) << row.name;
        EXPECT_EQ(model.detail(), row.detail) << row.name;

        model.openDownload();
        const bool offersDownload = row.kind == Kind::UpdateAvailable;
        EXPECT_EQ(workspace.openedUrls.size(), offersDownload ? 1 : 0) << row.name;
    }
}

// The real updater against the reference service: its feed offers what the service was started with.
class UpdatesFromService : public ::testing::Test {
protected:
    UpdateCheckModel::State check(const QString& currentBuild, QUrl* download = nullptr, QString* detail = nullptr)
    {
        quorvel::platform::AppcastUpdater updater(network, QUrl(service.baseUrl() + "/appcast.xml"), currentBuild);
        quorvel::testing::ShellWorkspace workspace;
        UpdateCheckModel model(updater, workspace, "1.0.0");
        QSignalSpy changed(&model, &UpdateCheckModel::changed);
        model.checkForUpdates();
        while (model.state() == State::checking && changed.wait(10'000)) { }
        if (download)
            *download = model.downloadUrl();
        if (detail)
            *detail = model.detail();
        return model.state();
    }

    quorvel::testing::ServiceProcess service;
    QNetworkAccessManager network;
};

TEST_F(UpdatesFromService, AnswersUpToDateNewerAndFailed)
{
    ASSERT_TRUE(service.start({ "--instant", "--release", "3=1.2.0", "--release", "2=1.1.0" }))
        << service.errorText().toStdString();

    EXPECT_EQ(check("3"), State::upToDate);
    EXPECT_EQ(check("12"), State::upToDate) << "a newer local build is not downgraded";

    QUrl download;
    QString detail;
    EXPECT_EQ(check("2", &download, &detail), State::updateAvailable);
    EXPECT_EQ(download, QUrl(service.baseUrl() + "/releases/1.2.0"));
    EXPECT_EQ(detail, "Quorvel 1.2.0 is available. You have 1.0.0.");

    service.stop();
    EXPECT_EQ(check("2", nullptr, &detail), State::failed);
    EXPECT_TRUE(detail.startsWith("The update server could not be reached")) << detail.toStdString();
}

} // namespace
