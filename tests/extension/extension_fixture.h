#pragma once
// An extension environment of test doubles: a hand-driven player per view, manual time, memory
// preferences, a workspace whose running applications the test sets.

#include "extension/extension_environment.h"
#include "platform/display_power.h"

#include "support/fake_platform.h"
#include "support/manual_clock.h"
#include "support/memory_preferences.h"

#include <QTemporaryDir>

namespace quorvel::testing {

// Plays nothing: tests set item statuses and ends by hand.
class FakeMediaPlayer final : public platform::MediaPlayer {
    Q_OBJECT
public:
    void setItem(const QUrl& url) override { items << url, status_ = ItemStatus::Unknown; }
    bool hasItem() const override { return !items.isEmpty(); }
    QUrl currentSource() const override { return items.value(items.size() - 1); }
    ItemStatus status() const override { return status_; }
    QString errorText() const override { return error_; }
    double durationSeconds() const override { return 4.0; }
    int audioTrackCount() const override { return 0; }
    double volume() const override { return volume_; }
    void setVolume(double volume) override { volume_ = volume; }
    void play() override { playing_ = true; }
    void pause() override { playing_ = false; }
    bool isPlaying() const override { return playing_; }
    double positionSeconds() const override { return 0; }
    void seek(double) override { ++seeks; }
    void setVideoSink(QVideoSink*) override { }

    void becomeReady() { emit statusChanged(status_ = ItemStatus::ReadyToPlay); }
    void fail(const QString& error) { error_ = error, emit statusChanged(status_ = ItemStatus::Failed); }
    void finish() { emit endOfItem(); }

    QList<QUrl> items;
    ItemStatus status_ = ItemStatus::Unknown;
    QString error_;
    double volume_ = 1.0;
    bool playing_ = false;
    int seeks = 0;
};

// A display switched on and off by hand.
class FakeDisplayPower final : public platform::DisplayPower {
    Q_OBJECT
public:
    bool isDisplayOn() const override { return on; }
    void set(bool value) { on = value, emit displayPowerChanged(value); }
    bool on = true;
};

// The extension sends "unknown" when the machine cannot be identified.
inline std::shared_ptr<FakeMachineIdentity> unknownMachine()
{
    auto identity = std::make_shared<FakeMachineIdentity>();
    identity->identifier = QStringLiteral("unknown");
    identity->en0.reset();
    return identity;
}

struct ExtensionFixture {
    ExtensionFixture()
    {
        auto& env = *environment;
        env.network = std::make_shared<QNetworkAccessManager>();
        env.preferences = preferences;
        env.workspace = workspace;
        env.clock = clock;
        env.sleeper = sleeper;
        env.machineIdentity = unknownMachine();
        env.serviceBaseUrl = QStringLiteral("http://127.0.0.1:9"); // nothing listens there
        env.cacheDirectory = cacheDir.filePath(QStringLiteral("videos"));
        env.sampleClipURL = QUrl::fromLocalFile(QStringLiteral("/bundle/Contents/Resources/QuorvelSample.mp4"));
        env.makePlayer = [] { return std::make_unique<FakeMediaPlayer>(); };
        env.clipCache = std::make_shared<extension::ClipCache>(env.cacheDirectory, env.clipStallTimeout);
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
