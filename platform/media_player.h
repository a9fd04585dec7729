#pragma once
// One media player with one current item, reporting on the main thread.

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QVideoSink;

namespace quorvel::platform {

class MediaPlayer : public QObject {
    Q_OBJECT
public:
    enum class ItemStatus { Unknown, ReadyToPlay, Failed };

    using QObject::QObject;
    ~MediaPlayer() override = default;

    // Replaces the current item; its status starts as Unknown.
    virtual void setItem(const QUrl& url) = 0;
    virtual bool hasItem() const = 0;
    virtual QUrl currentSource() const = 0;
    virtual ItemStatus status() const = 0;
    // The item's error, empty when it has none.
    virtual QString errorText() const = 0;
    virtual double durationSeconds() const = 0;
    virtual int audioTrackCount() const = 0;
    // 0.0 to 1.0.
    virtual double volume() const = 0;
    virtual void setVolume(double volume) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual bool isPlaying() const = 0;
    virtual double positionSeconds() const = 0;
    virtual void seek(double seconds) = 0;
    // Where decoded frames go; the sink keeps its last frame until a new one arrives.
    virtual void setVideoSink(QVideoSink* sink) = 0;

signals:
    // Changes only; never for the initial Unknown of a new item.
    void statusChanged(quorvel::platform::MediaPlayer::ItemStatus status);
    // This player's current item played to its end.
    void endOfItem();
};

using MediaPlayerFactory = std::function<std::unique_ptr<MediaPlayer>()>;

} // namespace quorvel::platform
