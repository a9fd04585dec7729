#pragma once
// An extension environment made of test doubles: a fake player per view, manual time, memory
// preferences, a workspace whose running applications the test sets.

#include "extension/extension_environment.h"
#include "fake_media_player.h"

#include "support/manual_clock.h"
#include "support/memory_preferences.h"

#include <QTemporaryDir>

namespace quorvel::testing {

class FakeWorkspace final : public platform::Workspace {
public:
    bool openURL(const QUrl&) override { return false; }
    bool openApplication(const QString&, const QStringList&) override { return false; }
    QList<platform::RunningApplication> runningApplications() const override { return running; }
    bool terminate(qint64) override { return false; }
    bool isTerminated(qint64) const override { return true; }
    std::unique_ptr<platform::RunningDeclaration> declareRunning(const QString&, const QString&) override
    {
        return nullptr;
    }
    void openSettings(bool open)
    {
        running.clear();
        if (open)
            running << platform::RunningApplication { "com.apple.Wallpaper-Settings.extension", "/x", 42 };
    }
    QList<platform::RunningApplication> running;
};

class FakeMachineIdentity final : public platform::MachineIdentity {
public:
    QString machineIdentifier() const override { return QStringLiteral("unknown"); }
    std::optional<QString> hardwareAddress(const QString&) const override { return std::nullopt; }
    QString shortUserName() const override { return QStringLiteral("tester"); }
};

struct ExtensionFixture {
    ExtensionFixture()
    {
        environment->network = std::make_shared<QNetworkAccessManager>();
        environment->preferences = preferences;
        environment->workspace = workspace;
        environment->clock = clock;
        environment->sleeper = sleeper;
        environment->machineIdentity = std::make_shared<FakeMachineIdentity>();
        environment->serviceBaseUrl = QStringLiteral("http://127.0.0.1:9"); // nothing listens there
        environment->cacheDirectory = cacheDir.filePath(QStringLiteral("videos"));
        environment->sampleClipURL
            = QUrl::fromLocalFile(QStringLiteral("/bundle/Contents/Resources/QuorvelSample.mp4"));
        environment->makePlayer = [] { return std::make_unique<FakeMediaPlayer>(); };
        environment->clipCache = std::make_shared<extension::ClipCache>(
            environment->cacheDirectory, environment->network, environment->clipStallTimeout);
    }

    std::shared_ptr<MemoryPreferenceSuite> sharedSuite()
    {
        return preferences->entry("suite:group.com.quorvel.shared");
    }

    QTemporaryDir cacheDir;
    std::shared_ptr<MemoryPreferences> preferences = std::make_shared<MemoryPreferences>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ManualSleeper> sleeper = std::make_shared<ManualSleeper>(*clock);
    std::shared_ptr<extension::ExtensionEnvironment> environment = std::make_shared<extension::ExtensionEnvironment>();
};

} // namespace quorvel::testing
