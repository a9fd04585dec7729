#include "platform/linux/media_player_qt.h"

#include <QMediaMetaData>
#include <QVideoFrame>

#include <algorithm>

namespace quorvel::platform {

QtMediaPlayer::QtMediaPlayer(QObject* parent)
    : MediaPlayer(parent)
{
    makePlayer();
    connect(&frames_, &QVideoSink::videoFrameChanged, this, &QtMediaPlayer::onFrame);
}

QtMediaPlayer::~QtMediaPlayer()
{
    // Nothing may reach this object's slots while the members go away.
    disconnect(player_, nullptr, this, nullptr);
    disconnect(&frames_, nullptr, this, nullptr);
    player_->stop();
    delete player_;
}

void QtMediaPlayer::makePlayer()
{
    if (player_) {
        // May run inside the old player's own signal, so it is retired, not deleted here.
        disconnect(player_, nullptr, this, nullptr);
        player_->stop();
        player_->setAudioOutput(nullptr);
        player_->setVideoSink(nullptr);
        player_->deleteLater();
    }
    player_ = new QMediaPlayer;
    player_->setAudioOutput(&audio_);
    player_->setVideoSink(&frames_);
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, &QtMediaPlayer::onMediaStatus);
    connect(player_, &QMediaPlayer::errorOccurred, this, &QtMediaPlayer::onError);
}

void QtMediaPlayer::setItem(const QUrl& url)
{
    // Reset first: the old item's late status reports must not be read as the new item's.
    const bool broken = status_ == ItemStatus::Failed || player_->error() != QMediaPlayer::NoError;
    source_ = url;
    status_ = ItemStatus::Unknown;
    errorText_.clear();
    ended_ = false;
    if (broken)
        makePlayer();
    player_->setSource(url);
}

bool QtMediaPlayer::hasItem() const
{
    return !source_.isEmpty();
}

QUrl QtMediaPlayer::currentSource() const
{
    return source_;
}

MediaPlayer::ItemStatus QtMediaPlayer::status() const
{
    return status_;
}

QString QtMediaPlayer::errorText() const
{
    return errorText_;
}

double QtMediaPlayer::durationSeconds() const
{
    return player_->duration() / 1000.0;
}

int QtMediaPlayer::audioTrackCount() const
{
    return int(player_->audioTracks().size());
}

double QtMediaPlayer::volume() const
{
    return audio_.volume();
}

void QtMediaPlayer::setVolume(double volume)
{
    audio_.setVolume(float(std::clamp(volume, 0.0, 1.0)));
}

void QtMediaPlayer::play()
{
    if (hasItem())
        player_->play();
}

void QtMediaPlayer::pause()
{
    player_->pause();
}

bool QtMediaPlayer::isPlaying() const
{
    return player_->playbackState() == QMediaPlayer::PlayingState;
}

double QtMediaPlayer::positionSeconds() const
{
    return player_->position() / 1000.0;
}

void QtMediaPlayer::seek(double seconds)
{
    player_->setPosition(qint64(std::max(0.0, seconds) * 1000.0));
}

void QtMediaPlayer::setVideoSink(QVideoSink* sink)
{
    target_ = sink;
    const QVideoFrame last = frames_.videoFrame();
    if (target_ && last.isValid())
        target_->setVideoFrame(last);
}

MediaPlayerFactory QtMediaPlayer::factory()
{
    return [] { return std::make_unique<QtMediaPlayer>(); };
}

void QtMediaPlayer::onMediaStatus(QMediaPlayer::MediaStatus mediaStatus)
{
    if (!hasItem())
        return;
    switch (mediaStatus) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferingMedia:
    case QMediaPlayer::BufferedMedia:
        if (status_ != ItemStatus::Failed)
            setStatus(ItemStatus::ReadyToPlay);
        break;
    case QMediaPlayer::EndOfMedia:
        // An end without a ready item is a stale report of the item before, or a failure.
        if (status_ == ItemStatus::ReadyToPlay && !ended_) {
            ended_ = true;
            emit endOfItem();
        }
        break;
    case QMediaPlayer::InvalidMedia:
        if (errorText_.isEmpty())
            errorText_ = player_->errorString();
        if (errorText_.isEmpty())
            errorText_ = QStringLiteral("The media could not be played.");
        setStatus(ItemStatus::Failed);
        break;
    case QMediaPlayer::NoMedia:
    case QMediaPlayer::LoadingMedia:
    case QMediaPlayer::StalledMedia:
        break;
    }
}

void QtMediaPlayer::onError(QMediaPlayer::Error error, const QString& text)
{
    if (error == QMediaPlayer::NoError || !hasItem())
        return;
    errorText_ = text.isEmpty() ? QStringLiteral("The media could not be played.") : text;
    setStatus(ItemStatus::Failed);
}

void QtMediaPlayer::onFrame(const QVideoFrame& frame)
{
    // Empty frames come on stop and item changes; passing them on would flash black.
    if (frame.isValid() && target_)
        target_->setVideoFrame(frame);
}

void QtMediaPlayer::setStatus(ItemStatus status)
{
    if (status == status_)
        return;
    status_ = status;
    emit statusChanged(status_);
}

} // namespace quorvel::platform
