#include "extension/quorvel_playback.h"

#include "extension/feed_loader.h"
#include "extension/settings.h"
#include "platform/log.h"

#include <QCoroTask>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUuid>

#include <utility>

namespace quorvel::extension {
namespace {

using platform::LogCategory;
using Status = platform::MediaPlayer::ItemStatus;

constexpr qint64 kFailuresBeforeBackoff = 2; // the third failure in a row backs off

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}
QString decimal(double value)
{
    return QString::asprintf("%f", value);
}

QString signalName(DismissalSignal signal)
{
    switch (signal) {
    case DismissalSignal::WindowWillClose:
        return QStringLiteral("windowWillClose");
    case DismissalSignal::WindowDidResignKey:
        return QStringLiteral("windowDidResignKey");
    case DismissalSignal::WindowDidChangeOcclusionState:
        return QStringLiteral("windowDidChangeOcclusionState");
    }
    return {};
}

} // namespace

QuorvelPlayback::QuorvelPlayback(std::shared_ptr<ExtensionEnvironment> environment,
    std::unique_ptr<platform::MediaPlayer> player, bool isPreview,
    std::shared_ptr<RetentionMetricsStorage> retentionStorage, QObject* parent)
    : QObject(parent)
    , environment_(std::move(environment))
    , player_(std::move(player))
    , cache_(environment_->clipCache)
    , retention_(std::move(retentionStorage), *environment_->clock)
    , isPreview_(isPreview)
    , instanceID_(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(4))
{
    platform::log::info(LogCategory::View, QStringLiteral("init(frame:isPreview: %1)").arg(flag(isPreview)));
    player_->setVolume(isPreview_ ? 0.0 : storedVolume());
    // Only this player's own end of item advances this view: another display's clip ending must
    // not cut this one short.
    connect(player_.get(), &platform::MediaPlayer::endOfItem, this, &QuorvelPlayback::playNext);
    connect(player_.get(), &platform::MediaPlayer::statusChanged, this, &QuorvelPlayback::onStatusChanged);
    gate_ = new DownloadGate(this);
    if (environment_->displayPower)
        connect(environment_->displayPower.get(), &platform::DisplayPower::displayPowerChanged, this,
            &QuorvelPlayback::updateSuspension);
    if (environment_->networkCost)
        connect(environment_->networkCost.get(), &platform::NetworkCost::meteredChanged, this,
            &QuorvelPlayback::updateSuspension);
    if (environment_->powerSource)
        connect(environment_->powerSource.get(), &platform::PowerSource::onBatteryChanged, this,
            &QuorvelPlayback::updateSuspension);
    updateSuspension();
}

QuorvelPlayback::~QuorvelPlayback()
{
    player_->pause();
    retention_.endSession();
}

QCoro::Task<> QuorvelPlayback::loadFeed()
{
    QPointer<QuorvelPlayback> self(this);
    const auto environment = environment_;
    const QUrl feedURL = feedRequestURL(
        environment->serviceBaseUrl, environment->clock->now(), environment->machineIdentity->machineIdentifier());
    // A slow or stalled service must not keep the screen black: the disk fills the wait.
    if (playlist_.empty()) {
        std::vector<Video> onDisk = playlistOnDisk();
        if (!onDisk.empty()) {
            fillingWait_ = true;
            setPlaylist(std::move(onDisk));
        }
    }
    std::vector<Video> videos = co_await loadPlaylist(environment->network, feedURL, environment->cacheDirectory,
        makeFallbackVideo(environment->sampleClipURL), environment->feedTimeout, QPointer<QObject>(this));
    if (!self)
        co_return;
    takeFeed(std::move(videos));
    if (isPreview_)
        co_return;
    // Detached: the view goes on playing while its clips download.
    ClipCache::cacheClips(
        cache_, QPointer<QObject>(this), [self] { return self ? self->playlist_ : std::vector<Video> {}; }, gate_);
}

void QuorvelPlayback::setPlaylist(std::vector<Video> playlist)
{
    playlist_ = std::move(playlist);
    playNext();
}

std::vector<Video> QuorvelPlayback::playlistOnDisk() const
{
    std::vector<Video> cached;
    if (const std::optional<std::vector<Video>> lastGood = readLastGoodFeed(environment_->cacheDirectory))
        for (const Video& video : *lastGood)
            if (cache_->cachedFileURL(video))
                cached.push_back(video);
    if (!cached.empty())
        return cached;
    const QUrl& sample = environment_->sampleClipURL;
    if (sample.isLocalFile() && QFileInfo(sample.toLocalFile()).size() > 0)
        return { makeFallbackVideo(sample) };
    return {};
}

void QuorvelPlayback::takeFeed(std::vector<Video> videos)
{
    if (!fillingWait_) {
        setPlaylist(std::move(videos));
        return;
    }
    // The clip on screen plays to its end (or fails, or waits out a back-off); the next change
    // starts the fetched list from its top, or from its second clip when the top is on screen.
    fillingWait_ = false;
    const qint64 top = !videos.empty() && videos.front().url == playingVideoURL_ ? 1 : 0;
    playlistStart_ = index_ - top;
    playlist_ = std::move(videos);
}

void QuorvelPlayback::playNext()
{
    if (playlist_.empty())
        return;
    Video video = clipAt(index_);
    if (!mayFetch()) {
        // Only what the disk holds plays; with nothing there, the built-in clip does.
        const qint64 length = static_cast<qint64>(playlist_.size());
        qint64 skipped = 0;
        while (skipped < length && !isOnDisk(clipAt(index_ + skipped)))
            ++skipped;
        if (skipped < length) {
            index_ += skipped;
            video = clipAt(index_);
        } else {
            video = makeFallbackVideo(environment_->sampleClipURL);
        }
    }
    ++index_;
    playingVideoURL_ = video.url;

    caption_ = captionText(video);
    title_ = video.title.value_or(QString());
    titleVisible_ = !title_.isEmpty();
    emit textChanged();

    const std::optional<QUrl> cached = cache_->cachedFileURL(video);
    currentURL_ = cached.value_or(video.url);
    currentFromCache_ = cached.has_value();
    if (!cached && !isRemoteClipURL(video.url) && !mayPlayFromDisk(video.url)) {
        // A feed never makes the player read a local file (or any other scheme).
        pause();
        failCurrent(QStringLiteral("not an http(s) clip: %1").arg(video.url.toString()));
        return;
    }
    platform::log::info(LogCategory::View, QStringLiteral("playing %1").arg(currentURL_.toString()));
    // With a view per screen the line above does not say whose clip it is; this one does.
    platform::log::debug(
        LogCategory::View, QStringLiteral("[%1] clip %2: %3").arg(instanceID_).arg(index_).arg(currentURL_.toString()));
    player_->setItem(currentURL_);
    play();
}

const Video& QuorvelPlayback::clipAt(qint64 index) const
{
    const qint64 length = static_cast<qint64>(playlist_.size());
    return playlist_[static_cast<size_t>(((index - playlistStart_) % length + length) % length)];
}

bool QuorvelPlayback::isOnDisk(const Video& video) const
{
    return cache_->cachedFileURL(video) || mayPlayFromDisk(video.url);
}

void QuorvelPlayback::onStatusChanged(Status status)
{
    switch (status) {
    case Status::ReadyToPlay:
        consecutiveFailures_ = 0;
        platform::log::info(LogCategory::View,
            QStringLiteral("item ready, duration=%1s vol=%2 audioTracks=%3")
                .arg(decimal(player_->durationSeconds()), decimal(player_->volume()))
                .arg(player_->audioTrackCount()));
        break;
    case Status::Failed: {
        const QString error = player_->errorText();
        failCurrent(error.isEmpty() ? QStringLiteral("?") : error);
        break;
    }
    case Status::Unknown:
        break;
    }
}

void QuorvelPlayback::failCurrent(const QString& reason)
{
    platform::log::error(LogCategory::View, QStringLiteral("item FAILED: %1").arg(reason));
    // Only the file this play took from the cache goes; a URL from a feed never deletes anything.
    if (currentFromCache_ && currentURL_.isLocalFile() && cache_->isCacheFile(currentURL_.toLocalFile()))
        QFile::remove(currentURL_.toLocalFile());
    currentFromCache_ = false;
    ++consecutiveFailures_;
    if (consecutiveFailures_ > kFailuresBeforeBackoff) {
        platform::log::error(LogCategory::View, QStringLiteral("3 consecutive failures; retrying in 30s"));
        retryPending_ = true;
        environment_->sleeper->schedule(environment_->failureBackoff, this, [this] {
            retryPending_ = false;
            consecutiveFailures_ = 0;
            playNext();
        });
        return;
    }
    playNext();
}

bool QuorvelPlayback::mayPlayFromDisk(const QUrl& url) const
{
    return url.isLocalFile() && url == environment_->sampleClipURL;
}

void QuorvelPlayback::startAnimation()
{
    if (player_->hasItem())
        play();
    if (!isPreview_ && !settingsHostRunning())
        retention_.startSession();
}

void QuorvelPlayback::stopAnimation()
{
    platform::log::info(LogCategory::View, QStringLiteral("stopAnimation()"));
    pause();
    retention_.endSession();
}

void QuorvelPlayback::windowChanged(bool hasWindow)
{
    platform::log::info(
        LogCategory::View, QStringLiteral("[%1] viewDidMoveToWindow hasWindow=%2").arg(instanceID_, flag(hasWindow)));
    if (!hasWindow) {
        pause();
        return;
    }
    const bool settingsOpen = settingsHostRunning();
    player_->setVolume(settingsOpen ? 0.0 : storedVolume());
    platform::log::info(LogCategory::View,
        QStringLiteral("[%1] settingsOpen=%2 -> volume=%3")
            .arg(instanceID_, flag(settingsOpen), decimal(player_->volume())));
}

void QuorvelPlayback::dismissalSignal(DismissalSignal signal, bool windowVisible)
{
    platform::log::info(LogCategory::View,
        QStringLiteral("[%1] dismissal signal: %2 visible=%3")
            .arg(instanceID_, signalName(signal), flag(windowVisible)));
    if (signal == DismissalSignal::WindowDidChangeOcclusionState && windowVisible)
        return;
    pause();
}

void QuorvelPlayback::setExposed(bool exposed)
{
    if (exposed == exposed_)
        return;
    exposed_ = exposed;
    platform::log::info(LogCategory::View, QStringLiteral("[%1] window exposed=%2").arg(instanceID_, flag(exposed)));
    updateSuspension();
}

bool QuorvelPlayback::mayFetch() const
{
    return !(environment_->networkCost && environment_->networkCost->isMetered())
        && !(environment_->powerSource && environment_->powerSource->isOnBattery());
}

void QuorvelPlayback::updateSuspension()
{
    const bool displayOn = !environment_->displayPower || environment_->displayPower->isDisplayOn();
    const bool suspended = !exposed_ || !displayOn;
    gate_->setOpen(!suspended && mayFetch());
    if (suspended == suspended_)
        return;
    suspended_ = suspended;
    platform::log::info(LogCategory::View,
        QStringLiteral("[%1] %2 (window exposed=%3, display on=%4)")
            .arg(instanceID_, suspended ? QStringLiteral("suspended") : QStringLiteral("resumed"), flag(exposed_),
                flag(displayOn)));
    if (suspended) {
        playOnWake_ = player_->isPlaying();
        player_->pause();
    } else if (std::exchange(playOnWake_, false)) {
        player_->play();
    }
}

void QuorvelPlayback::play()
{
    if (suspended_)
        playOnWake_ = true;
    else
        player_->play();
}

void QuorvelPlayback::pause()
{
    playOnWake_ = false;
    player_->pause();
}

void QuorvelPlayback::focusMovedWithinProcess()
{
    platform::log::info(
        LogCategory::View, QStringLiteral("[%1] focus moved to another window of this process").arg(instanceID_));
}

bool QuorvelPlayback::settingsHostRunning() const
{
    if (!environment_->workspace)
        return false;
    return platform::isRunning(*environment_->workspace, QStringLiteral("com.apple.Wallpaper-Settings.extension"));
}

double QuorvelPlayback::storedVolume() const
{
    return environment_->preferences ? settings::storedVolume(*environment_->preferences) : settings::kDefaultVolume;
}

} // namespace quorvel::extension
