#pragma once
// The real media player: Qt Multimedia on its GStreamer backend.

#include "platform/media_player.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QPointer>
#include <QVideoSink>

namespace quorvel::platform {

// One QMediaPlayer with its own audio output. Frames go to an internal sink and only valid ones are
// handed on, so a sink given to setVideoSink keeps the last picture across item changes and stops.
class QtMediaPlayer final : public MediaPlayer {
    Q_OBJECT
public:
    explicit QtMediaPlayer(QObject* parent = nullptr);
    ~QtMediaPlayer() override;

    void setItem(const QUrl& url) override;
    bool hasItem() const override;
    QUrl currentSource() const override;
    ItemStatus status() const override;
    QString errorText() const override;
    double durationSeconds() const override;
    int audioTrackCount() const override;
    double volume() const override;
    void setVolume(double volume) override;
    void play() override;
    void pause() override;
    bool isPlaying() const override;
    double positionSeconds() const override;
    void seek(double seconds) override;
    void setVideoSink(QVideoSink* sink) override;

    // A ready-made factory for code that builds players on demand.
    static MediaPlayerFactory factory();

private:
    void onMediaStatus(QMediaPlayer::MediaStatus mediaStatus);
    void onError(QMediaPlayer::Error error, const QString& text);
    void onFrame(const QVideoFrame& frame);
    void setStatus(ItemStatus status);
    void makePlayer();

    QAudioOutput audio_;
    // Replaced after a failed item: a broken pipeline keeps reporting errors for a while, and those
    // late reports would otherwise fail the next item.
    QMediaPlayer* player_ = nullptr;
    QVideoSink frames_;
    QPointer<QVideoSink> target_;
    QUrl source_;
    ItemStatus status_ = ItemStatus::Unknown;
    QString errorText_;
    // True once this item's end was reported: GStreamer can repeat EndOfMedia (e.g. after a seek
    // at the end), and a view must advance once per item.
    bool ended_ = false;
};

} // namespace quorvel::platform
