#include "app/library/player_binding.h"

#include <QVideoSink>

namespace quorvel::library {

PlayerBinding::PlayerBinding(platform::MediaPlayerFactory factory, QObject* parent)
    : QObject(parent)
    , factory_(std::move(factory))
{
}

PlayerBinding::~PlayerBinding()
{
    // A lent player outlives this binding; it must not keep playing into a sink that goes away.
    release();
}

void PlayerBinding::showUrl(const QUrl& url)
{
    if (current_ && current_->hasItem() && current_->currentSource() == url)
        return;
    if (!current_ && (!url.isValid() || url.isEmpty()))
        return;
    release();
    if (url.isValid() && !url.isEmpty() && factory_) {
        owned_ = factory_();
        if (owned_) {
            owned_->setItem(url);
            adopt(owned_.get());
        }
    }
    emit playerChanged();
}

void PlayerBinding::showPlayer(platform::MediaPlayer* player)
{
    if (player == current_)
        return;
    release();
    adopt(player);
    emit playerChanged();
}

void PlayerBinding::dismantle()
{
    if (!current_ && !owned_)
        return;
    release();
    emit playerChanged();
}

void PlayerBinding::setVideoSink(QVideoSink* sink)
{
    if (current_ && sink_ != sink)
        current_->setVideoSink(sink);
    sink_ = sink;
}

void PlayerBinding::release()
{
    if (current_) {
        current_->pause();
        if (sink_)
            current_->setVideoSink(nullptr);
    }
    current_ = nullptr;
    owned_.reset();
}

void PlayerBinding::adopt(platform::MediaPlayer* player)
{
    current_ = player;
    if (current_ && sink_)
        current_->setVideoSink(sink_);
}

} // namespace quorvel::library
