#pragma once
// Doubles for the preview and plans windows: a player that records what it was given, and a
// workspace that records the addresses it was asked to open.

#include "app_client/fixture.h"
#include "platform/media_player.h"

#include <QList>
#include <QUrl>

namespace quorvel::testing {

// Plays nothing; keeps every item it was given, in order.
class RecordingPlayer final : public platform::MediaPlayer {
    Q_OBJECT
public:
    void setItem(const QUrl& url) override { items << url; }
    bool hasItem() const override { return !currentSource().isEmpty(); }
    QUrl currentSource() const override { return items.isEmpty() ? QUrl() : items.last(); }
    ItemStatus status() const override { return ItemStatus::Unknown; }
    QString errorText() const override { return {}; }
    double durationSeconds() const override { return 3.5; }
    int audioTrackCount() const override { return 0; }
    double volume() const override { return 1.0; }
    void setVolume(double) override { }
    void play() override { playing = true; }
    void pause() override { playing = false; }
    bool isPlaying() const override { return playing; }
    double positionSeconds() const override { return 0; }
    void seek(double) override { }
    void setVideoSink(QVideoSink*) override { }

    QList<QUrl> items;
    bool playing = false;
};

// A factory that hands out recording players and remembers the last one made.
struct PlayerMaker {
    platform::MediaPlayerFactory factory()
    {
        return [this] {
            auto player = std::make_unique<RecordingPlayer>();
            made << player.get();
            return player;
        };
    }
    QList<RecordingPlayer*> made;
};

class RecordingWorkspace final : public platform::Workspace {
public:
    bool openURL(const QUrl& url) override
    {
        opened << url;
        return opens;
    }
    bool openApplication(const QString&, const QStringList&) override { return false; }
    QList<platform::RunningApplication> runningApplications() const override { return {}; }
    bool terminate(qint64) override { return false; }
    bool isTerminated(qint64) const override { return true; }
    std::unique_ptr<platform::RunningDeclaration> declareRunning(const QString&, const QString&) override { return {}; }

    QList<QUrl> opened;
    bool opens = true;
};

} // namespace quorvel::testing
