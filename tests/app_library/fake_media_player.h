#pragma once
// A media player double that records what is asked of it, in order, across every player made by
// one factory, so tests can check that an old clip was paused before a new one was loaded.

#include "platform/media_player.h"

#include <QStringList>
#include <QVideoSink>

#include <memory>

namespace quorvel::testing {

class PlayerJournal {
public:
    QStringList events;
    int made = 0;
    int alive = 0;
};

class RecordingPlayer final : public platform::MediaPlayer {
    Q_OBJECT
public:
    explicit RecordingPlayer(std::shared_ptr<PlayerJournal> journal)
        : journal_(std::move(journal))
        , id_(++journal_->made)
    {
        ++journal_->alive;
    }
    ~RecordingPlayer() override
    {
        --journal_->alive;
        log(QStringLiteral("gone"));
    }

    void setItem(const QUrl& url) override
    {
        source_ = url, status_ = ItemStatus::Unknown, playing_ = false, position_ = 0;
        log(QStringLiteral("item ") + url.toString());
    }
    bool hasItem() const override { return !source_.isEmpty(); }
    QUrl currentSource() const override { return source_; }
    ItemStatus status() const override { return status_; }
    QString errorText() const override { return error_; }
    double durationSeconds() const override { return duration; }
    int audioTrackCount() const override { return 1; }
    double volume() const override { return 1.0; }
    void setVolume(double) override { }
    void play() override { playing_ = true, log(QStringLiteral("play")); }
    void pause() override { playing_ = false, log(QStringLiteral("pause")); }
    bool isPlaying() const override { return playing_; }
    double positionSeconds() const override { return position_; }
    void seek(double seconds) override { position_ = seconds, log(QStringLiteral("seek %1").arg(seconds)); }
    void setVideoSink(QVideoSink* sink) override
    {
        sink_ = sink;
        log(sink ? QStringLiteral("sink") : QStringLiteral("no sink"));
    }

    void fail(const QString& error) { error_ = error, emit statusChanged(status_ = ItemStatus::Failed); }
    void reachEnd() { position_ = duration, playing_ = false, emit endOfItem(); }
    void setPosition(double seconds) { position_ = seconds; }
    QVideoSink* sink() const { return sink_; }
    int id() const { return id_; }

    double duration = 8.0;

private:
    void log(const QString& what) { journal_->events << QStringLiteral("%1: %2").arg(id_).arg(what); }

    std::shared_ptr<PlayerJournal> journal_;
    int id_;
    QUrl source_;
    ItemStatus status_ = ItemStatus::Unknown;
    QString error_;
    bool playing_ = false;
    double position_ = 0;
    QVideoSink* sink_ = nullptr;
};

inline platform::MediaPlayerFactory recordingFactory(const std::shared_ptr<PlayerJournal>& journal)
{
    return [journal] { return std::make_unique<RecordingPlayer>(journal); };
}

} // namespace quorvel::testing
