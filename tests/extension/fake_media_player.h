#pragma once
// A media player that plays nothing: tests set item statuses and ends by hand.

#include "platform/media_player.h"

#include <QList>

namespace quorvel::testing {

class FakeMediaPlayer final : public platform::MediaPlayer {
    Q_OBJECT
public:
    void setItem(const QUrl& url) override
    {
        source_ = url;
        items << url;
        status_ = ItemStatus::Unknown;
        error_.clear();
    }
    bool hasItem() const override { return !source_.isEmpty(); }
    QUrl currentSource() const override { return source_; }
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
    void seek(double) override { }
    void setVideoSink(QVideoSink* sink) override { sink_ = sink; }

    // What the real player reports for its current item.
    void becomeReady()
    {
        status_ = ItemStatus::ReadyToPlay;
        emit statusChanged(status_);
    }
    void fail(const QString& error)
    {
        status_ = ItemStatus::Failed;
        error_ = error;
        emit statusChanged(status_);
    }
    void finish() { emit endOfItem(); }

    QList<QUrl> items;
    QVideoSink* sink_ = nullptr;

private:
    QUrl source_;
    ItemStatus status_ = ItemStatus::Unknown;
    QString error_;
    double volume_ = 1.0;
    bool playing_ = false;
};

} // namespace quorvel::testing
