#pragma once
// One player view's logic without a display: the feed, the endless loop over the playlist, failure
// counting with its back-off, volume, pausing on dismissal signals and retention sessions. Nothing
// decodes or downloads while nobody can see the view (its window unexposed, the display off), and
// on a metered connection or on battery only what the disk holds plays.

#include "extension/clip_cache.h"
#include "extension/extension_environment.h"
#include "extension/feed_model.h"
#include "extension/retention_metrics.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

namespace quorvel::extension {

// What a window told its view; each maps to one line of the view's log.
enum class DismissalSignal { WindowWillClose, WindowDidResignKey, WindowDidChangeOcclusionState };

class QuorvelPlayback : public QObject {
    Q_OBJECT
public:
    // Owns `player` (never null); retention sessions go to `retentionStorage`.
    QuorvelPlayback(std::shared_ptr<ExtensionEnvironment> environment, std::unique_ptr<platform::MediaPlayer> player,
        bool isPreview, std::shared_ptr<RetentionMetricsStorage> retentionStorage, QObject* parent = nullptr);
    ~QuorvelPlayback() override;

    // Fetches the feed once, plays it, and (full-screen only) caches its clips. While the request
    // is in flight, what the disk holds plays; the fetched list takes over at the next clip change.
    QCoro::Task<> loadFeed();
    // Replaces the playlist (the index is kept) and plays the next clip.
    void setPlaylist(std::vector<Video> playlist);
    // The clips that play while the feed loads: the last good feed's cached clips, else the
    // built-in clip when its file is there; empty when the disk holds nothing playable.
    std::vector<Video> playlistOnDisk() const;
    void playNext();

    void startAnimation();
    void stopAnimation();
    // The view entered a window (or lost it).
    void windowChanged(bool hasWindow);
    void dismissalSignal(DismissalSignal signal, bool windowVisible);
    // The window lost activation to another window of this process; playback goes on.
    void focusMovedWithinProcess();
    // Whether the view's window can be seen at all (mapped and not fully covered).
    void setExposed(bool exposed);

    // Decoding and caching wait while this is true; playback resumes where it was.
    bool isSuspended() const { return suspended_; }
    // False on a metered connection or on battery: nothing new is fetched, not even streamed.
    bool mayFetch() const;

    bool settingsHostRunning() const;
    double storedVolume() const;

    platform::MediaPlayer& player() const { return *player_; }
    const std::vector<Video>& playlist() const { return playlist_; }
    qint64 index() const { return index_; }
    qint64 consecutiveFailures() const { return consecutiveFailures_; }
    bool isPreview() const { return isPreview_; }
    const QString& instanceID() const { return instanceID_; }
    QString caption() const { return caption_; }
    QString title() const { return title_; }
    bool titleVisible() const { return titleVisible_; }
    bool retryPending() const { return retryPending_; }
    // True while a clip from the disk fills the wait for the feed.
    bool isFillingWait() const { return fillingWait_; }
    RetentionMetrics& retention() { return retention_; }
    std::shared_ptr<ClipCache> cache() const { return cache_; }

signals:
    // The caption or the title changed.
    void textChanged();

private:
    void onStatusChanged(platform::MediaPlayer::ItemStatus status);
    void failCurrent(const QString& reason);
    bool mayPlayFromDisk(const QUrl& url) const;
    // Takes the fetched list: at once when nothing plays, else at the next clip change.
    void takeFeed(std::vector<Video> videos);
    // The player plays unless the view is suspended, in which case it starts on waking.
    void play();
    // A pause that waking does not undo.
    void pause();
    void updateSuspension();
    // The clip at playlist position `index` (any integer; the playlist loops).
    const Video& clipAt(qint64 index) const;
    bool isOnDisk(const Video& video) const;

    std::shared_ptr<ExtensionEnvironment> environment_;
    std::unique_ptr<platform::MediaPlayer> player_;
    std::shared_ptr<ClipCache> cache_;
    RetentionMetrics retention_;
    std::vector<Video> playlist_;
    qint64 index_ = 0;
    // The playlist position of clip number `index_` is (index_ - playlistStart_) modulo its length.
    qint64 playlistStart_ = 0;
    qint64 consecutiveFailures_ = 0;
    bool isPreview_ = false;
    QString instanceID_;
    QString caption_;
    QString title_;
    bool titleVisible_ = false;
    bool retryPending_ = false;
    bool fillingWait_ = false;
    // The URL handed to the player for the current clip, and whether it is this play's cache file.
    QUrl currentURL_;
    // The playlist entry of the current clip, as the feed names it.
    QUrl playingVideoURL_;
    bool currentFromCache_ = false;
    bool exposed_ = true;
    bool suspended_ = false;
    bool playOnWake_ = false;
    // Open while this view may download clips; its caching waits otherwise.
    DownloadGate* gate_ = nullptr;
};

} // namespace quorvel::extension
