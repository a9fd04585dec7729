#pragma once
// Which player a player view shows, and when that player is replaced, paused or let go.

#include "platform/media_player.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class QVideoSink;

namespace quorvel::library {

// Keeps one current player for a view: either one it made itself for an address (and owns), or one
// lent by the screen around it (never deleted here). Frames of the current player go to the sink
// given to setVideoSink.
class PlayerBinding final : public QObject {
    Q_OBJECT
public:
    explicit PlayerBinding(platform::MediaPlayerFactory factory, QObject* parent = nullptr);
    ~PlayerBinding() override;

    // Shows the clip at `url` in a player of its own. The same address as the current item does
    // nothing (re-evaluating a screen must not restart its clip); otherwise the current player is
    // paused first, then a new one is made for the address. An address that is not a valid URL
    // leaves no player.
    void showUrl(const QUrl& url);
    // Shows a player owned by the caller. The player shown already does nothing; otherwise the
    // current player is paused and let go. A null player lets go of the current one.
    void showPlayer(platform::MediaPlayer* player);
    // The current player, or null.
    platform::MediaPlayer* player() const { return current_; }
    // True when the current player was made here (from an address).
    bool ownsPlayer() const { return owned_ && owned_.get() == current_; }
    // Pauses the current player, detaches the sink from it and lets go of it.
    void dismantle();
    // Where the current player's frames go; follows every player change. Null detaches.
    void setVideoSink(QVideoSink* sink);

signals:
    void playerChanged();

private:
    // Pauses and detaches the current player; deletes it when it was made here.
    void release();
    void adopt(platform::MediaPlayer* player);

    platform::MediaPlayerFactory factory_;
    std::unique_ptr<platform::MediaPlayer> owned_;
    QPointer<platform::MediaPlayer> current_;
    QPointer<QVideoSink> sink_;
};

} // namespace quorvel::library
