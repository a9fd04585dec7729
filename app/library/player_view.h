#pragma once
// A clip on screen with inline controls (play/pause, position, time), over a PlayerBinding.

#include "app/library/player_binding.h"

#include <QImage>
#include <QTimer>
#include <QUrl>
#include <QVideoSink>
#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

namespace quorvel::library {

// Shows a clip by address (a player made here) or through a player the screen owns. Frames arrive
// through the player's video sink and the last one stays until the next; nothing starts playing by
// itself. With loading on demand, an address makes no player until the user presses play, so a
// list of many clips holds players only for the clips that were started.
class PlayerView final : public QWidget {
    Q_OBJECT
public:
    explicit PlayerView(platform::MediaPlayerFactory factory, QWidget* parent = nullptr);
    ~PlayerView() override;

    // The clip to show when no player is given; the same address again changes nothing.
    void setUrl(const QUrl& url);
    QUrl url() const { return url_; }
    // A player owned by the caller, shown instead of one made from the address; null returns to
    // the address.
    void setPlayer(platform::MediaPlayer* player);
    platform::MediaPlayer* player() const { return binding_.player(); }
    // When on, setUrl waits for the play button before it makes a player. Off by default.
    void setLoadOnDemand(bool onDemand);
    // Drawn while no frame of the current item has arrived (a first-frame thumbnail, for instance).
    void setPoster(const QImage& poster);
    QImage poster() const { return poster_; }
    // The picture on screen now: the last frame of the current item, else the poster (null when
    // neither).
    QImage displayedImage() const;

    PlayerBinding& binding() { return binding_; }
    QVideoSink* videoSink() { return &sink_; }

    // The play button's action: starts (making the player first if needed) or pauses.
    void togglePlayback();
    // Re-reads position, duration and playing state from the player into the controls.
    void refreshControls();

    // "m:ss" (or "h:mm:ss") for the time label; negative or unknown times read as 0.
    static QString formatTime(double seconds);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void onPlayerChanged();
    void onFrame(const QVideoFrame& frame);
    void seekToSlider();

    PlayerBinding binding_;
    QVideoSink sink_;
    QUrl url_;
    platform::MediaPlayer* lent_ = nullptr;
    bool onDemand_ = false;
    bool ended_ = false;
    QImage poster_;
    QImage frame_;
    // The item `frame_` belongs to: a player given a new item keeps no frame of it until it plays.
    QUrl frameSource_;
    QWidget* surface_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QSlider* position_ = nullptr;
    QLabel* time_ = nullptr;
    QTimer ticker_;
    QMetaObject::Connection statusConnection_;
    QMetaObject::Connection endConnection_;
};

} // namespace quorvel::library
