#include "app/library/player_view.h"
#include "fake_media_player.h"

#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <QVideoFrame>
#include <QVideoFrameFormat>

#include <cmath>

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

using library::PlayerView;

const QUrl kClip(QStringLiteral("http://127.0.0.1:9/a.mp4"));

QToolButton* playButton(QWidget& view)
{
    for (auto* button : view.findChildren<QToolButton*>())
        if (button->accessibleName() == "Play" || button->accessibleName() == "Pause")
            return button;
    return nullptr;
}

struct PlayerViewTest : ::testing::Test {
    std::shared_ptr<PlayerJournal> journal = std::make_shared<PlayerJournal>();
    PlayerView view { recordingFactory(journal) };
    RecordingPlayer* current() { return static_cast<RecordingPlayer*>(view.player()); }
};

TEST_F(PlayerViewTest, AnAddressLoadsButNeverStartsByItself)
{
    view.setUrl(kClip);
    view.show();
    ASSERT_NE(current(), nullptr);
    EXPECT_EQ(current()->currentSource(), kClip);
    EXPECT_FALSE(current()->isPlaying());
    EXPECT_EQ(current()->sink(), view.videoSink());
    EXPECT_EQ(playButton(view)->accessibleName(), "Play");
}

TEST_F(PlayerViewTest, OnDemandMakesThePlayerAtTheFirstPress)
{
    view.setLoadOnDemand(true);
    view.setUrl(kClip);
    view.setUrl(kClip);
    EXPECT_EQ(journal->made, 0);
    EXPECT_TRUE(playButton(view)->isEnabled());
    playButton(view)->click();
    ASSERT_NE(current(), nullptr);
    EXPECT_TRUE(current()->isPlaying());
    EXPECT_EQ(playButton(view)->accessibleName(), "Pause");
    playButton(view)->click();
    EXPECT_FALSE(current()->isPlaying());
    EXPECT_EQ(journal->made, 1);
}

TEST_F(PlayerViewTest, ControlsFollowThePlayer)
{
    view.setUrl(kClip);
    current()->duration = 75;
    current()->setPosition(37.5);
    view.refreshControls();
    auto* slider = view.findChild<QSlider*>();
    EXPECT_EQ(slider->accessibleName(), "Position");
    EXPECT_EQ(slider->value(), slider->maximum() / 2);
    QLabel* time = nullptr;
    for (auto* label : view.findChildren<QLabel*>())
        if (label->accessibleName() == "Time")
            time = label;
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->text(), "0:37 / 1:15");
}

TEST_F(PlayerViewTest, ReplayAfterTheEndStartsFromTheBeginning)
{
    view.setUrl(kClip);
    view.togglePlayback();
    current()->reachEnd();
    EXPECT_EQ(playButton(view)->accessibleName(), "Play");
    journal->events.clear();
    view.togglePlayback();
    EXPECT_EQ(journal->events, (QStringList { "1: seek 0", "1: play" }));
}

TEST_F(PlayerViewTest, LentPlayerIsShownAndLeftAliveWithTheView)
{
    RecordingPlayer lent(journal);
    {
        PlayerView inner(recordingFactory(journal));
        inner.setUrl(kClip);
        inner.setPlayer(&lent);
        EXPECT_EQ(inner.player(), &lent);
        EXPECT_EQ(lent.sink(), inner.videoSink());
        lent.play();
    }
    EXPECT_FALSE(lent.isPlaying()) << "a dismantled view left its player running";
    EXPECT_EQ(lent.sink(), nullptr);
    EXPECT_EQ(journal->alive, 1);
}

TEST_F(PlayerViewTest, PosterShowsUntilAFrameOfTheCurrentItemArrives)
{
    QImage poster(16, 9, QImage::Format_RGB32);
    poster.fill(Qt::red);
    view.setPoster(poster);
    EXPECT_EQ(view.displayedImage(), poster);
    view.setUrl(kClip);
    QVideoFrame frame(QVideoFrameFormat(QSize(16, 9), QVideoFrameFormat::Format_BGRX8888));
    ASSERT_TRUE(frame.map(QVideoFrame::WriteOnly));
    std::fill_n(frame.bits(0), frame.mappedBytes(0), uchar(0x40));
    frame.unmap();
    view.videoSink()->setVideoFrame(frame);
    EXPECT_NE(view.displayedImage(), poster);
    EXPECT_EQ(view.displayedImage().size(), QSize(16, 9));

    // A new item in the same player (the preview's next clip) shows no frame of the clip before.
    current()->setItem(QUrl("http://127.0.0.1:9/b.mp4"));
    EXPECT_EQ(view.displayedImage(), poster);
}

TEST(PlayerViewTime, FormatsMinutesHoursAndNonsense)
{
    struct Row {
        double seconds;
        const char* text;
    };
    for (const Row& row : { Row { 0, "0:00" }, Row { 9.99, "0:09" }, Row { 61, "1:01" }, Row { 3725, "1:02:05" },
             Row { -3, "0:00" }, Row { std::nan(""), "0:00" }, Row { INFINITY, "0:00" } })
        EXPECT_EQ(PlayerView::formatTime(row.seconds), row.text) << row.seconds;
}

} // namespace
} // namespace quorvel::testing
