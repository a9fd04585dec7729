#include "app/library/player_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVideoFrame>

#include <algorithm>
#include <cmath>

namespace quorvel::library {

namespace {

constexpr int kSliderSteps = 1000;

// Paints the owner's current picture aspect-fit on black, and the player's error as plain text.
class VideoSurface final : public QWidget {
public:
    explicit VideoSurface(PlayerView* owner)
        : QWidget(owner)
        , owner_(owner)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(160, 90);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setAccessibleName(QStringLiteral("Video"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        const QImage image = owner_->displayedImage();
        if (!image.isNull()) {
            QSize size = image.size().scaled(this->size(), Qt::KeepAspectRatio);
            QRect target(QPoint(0, 0), size);
            target.moveCenter(rect().center());
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(target, image);
        }
        const auto* player = owner_->player();
        if (player && player->status() == platform::MediaPlayer::ItemStatus::Failed) {
            painter.setPen(Qt::white);
            // drawText with a plain string never interprets markup, whatever the error says.
            painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                player->errorText().isEmpty() ? QStringLiteral("This clip can't be played.") : player->errorText());
        }
    }

private:
    PlayerView* owner_;
};

} // namespace

PlayerView::PlayerView(platform::MediaPlayerFactory factory, QWidget* parent)
    : QWidget(parent)
    , binding_(std::move(factory))
{
    setAccessibleName(QStringLiteral("Clip player"));
    surface_ = new VideoSurface(this);

    playButton_ = new QToolButton(this);
    playButton_->setAutoRaise(true);
    position_ = new QSlider(Qt::Horizontal, this);
    position_->setRange(0, kSliderSteps);
    position_->setAccessibleName(QStringLiteral("Position"));
    time_ = new QLabel(this);
    time_->setTextFormat(Qt::PlainText);
    time_->setAccessibleName(QStringLiteral("Time"));

    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(4, 2, 4, 2);
    controls->addWidget(playButton_);
    controls->addWidget(position_, 1);
    controls->addWidget(time_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(surface_, 1);
    layout->addLayout(controls);

    binding_.setVideoSink(&sink_);
    connect(&sink_, &QVideoSink::videoFrameChanged, this, &PlayerView::onFrame);
    connect(&binding_, &PlayerBinding::playerChanged, this, &PlayerView::onPlayerChanged);
    connect(playButton_, &QToolButton::clicked, this, &PlayerView::togglePlayback);
    connect(position_, &QSlider::sliderReleased, this, &PlayerView::seekToSlider);
    ticker_.setInterval(250);
    connect(&ticker_, &QTimer::timeout, this, &PlayerView::refreshControls);
    refreshControls();
}

PlayerView::~PlayerView()
{
    disconnect(&binding_, nullptr, this, nullptr);
    binding_.dismantle();
}

void PlayerView::setUrl(const QUrl& url)
{
    url_ = url;
    // On demand, an address alone makes no player; the play button makes it.
    if (!lent_ && (!onDemand_ || binding_.player()))
        binding_.showUrl(url);
    refreshControls();
}

void PlayerView::setPlayer(platform::MediaPlayer* player)
{
    lent_ = player;
    if (player)
        binding_.showPlayer(player);
    else if (binding_.player() && !binding_.ownsPlayer())
        binding_.dismantle();
    if (!player && !onDemand_)
        binding_.showUrl(url_);
    refreshControls();
}

void PlayerView::setLoadOnDemand(bool onDemand)
{
    onDemand_ = onDemand;
}

void PlayerView::setPoster(const QImage& poster)
{
    poster_ = poster;
    surface_->update();
}

QImage PlayerView::displayedImage() const
{
    const auto* player = binding_.player();
    const bool current = !frame_.isNull() && player && player->currentSource() == frameSource_;
    return current ? frame_ : poster_;
}

void PlayerView::togglePlayback()
{
    if (!binding_.player() && !lent_)
        binding_.showUrl(url_);
    auto* player = binding_.player();
    if (!player)
        return;
    if (player->isPlaying()) {
        player->pause();
    } else {
        // A clip that played to its end starts again from the beginning, as a replay.
        if (ended_)
            player->seek(0);
        ended_ = false;
        player->play();
    }
    refreshControls();
}

void PlayerView::refreshControls()
{
    const auto* player = binding_.player();
    const bool playing = player && player->isPlaying();
    playButton_->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    playButton_->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    playButton_->setAccessibleName(playButton_->text());
    playButton_->setToolTip(playButton_->text());
    playButton_->setEnabled(player || (url_.isValid() && !url_.isEmpty()));
    const double duration = player ? player->durationSeconds() : 0.0;
    const double position = player ? player->positionSeconds() : 0.0;
    position_->setEnabled(player && duration > 0);
    if (!position_->isSliderDown()) {
        const int step = duration > 0 ? int(std::lround(std::clamp(position / duration, 0.0, 1.0) * kSliderSteps)) : 0;
        position_->setValue(step);
    }
    // Before a player exists the clip's length is unknown, not zero.
    time_->setText(player ? formatTime(position) + QStringLiteral(" / ") + formatTime(duration) : QString());
    // A loading clip learns its duration late, so a shown player is read until it is let go.
    if (player && isVisible())
        ticker_.start();
    else
        ticker_.stop();
}

QString PlayerView::formatTime(double seconds)
{
    const qint64 whole = std::isfinite(seconds) && seconds > 0 ? qint64(seconds) : 0;
    const qint64 h = whole / 3600, m = (whole / 60) % 60, s = whole % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

void PlayerView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshControls();
}

void PlayerView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    ticker_.stop();
}

void PlayerView::onPlayerChanged()
{
    disconnect(statusConnection_);
    disconnect(endConnection_);
    frame_ = QImage();
    ended_ = false;
    if (auto* player = binding_.player()) {
        statusConnection_ = connect(player, &platform::MediaPlayer::statusChanged, this, [this] {
            refreshControls();
            surface_->update();
        });
        endConnection_ = connect(player, &platform::MediaPlayer::endOfItem, this, [this] {
            ended_ = true;
            refreshControls();
        });
    }
    refreshControls();
    surface_->update();
}

void PlayerView::onFrame(const QVideoFrame& frame)
{
    if (!frame.isValid())
        return;
    frame_ = frame.toImage();
    frameSource_ = binding_.player() ? binding_.player()->currentSource() : QUrl();
    surface_->update();
}

void PlayerView::seekToSlider()
{
    auto* player = binding_.player();
    if (!player || player->durationSeconds() <= 0)
        return;
    ended_ = false;
    player->seek(player->durationSeconds() * position_->value() / kSliderSteps);
    refreshControls();
}

} // namespace quorvel::library
