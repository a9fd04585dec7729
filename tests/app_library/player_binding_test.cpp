#include "app/library/player_binding.h"
#include "fake_media_player.h"

#include <QSignalSpy>
#include <QVideoSink>

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

using library::PlayerBinding;

const QUrl kFirst(QStringLiteral("http://127.0.0.1:9/a.mp4"));
const QUrl kSecond(QStringLiteral("http://127.0.0.1:9/b.mp4"));

struct BindingTest : ::testing::Test {
    std::shared_ptr<PlayerJournal> journal = std::make_shared<PlayerJournal>();
    PlayerBinding binding { recordingFactory(journal) };
    RecordingPlayer* current() { return static_cast<RecordingPlayer*>(binding.player()); }
};

TEST_F(BindingTest, SameUrlAgainKeepsThePlayingClip)
{
    binding.showUrl(kFirst);
    current()->play();
    QSignalSpy changed(&binding, &PlayerBinding::playerChanged);
    binding.showUrl(kFirst);
    binding.showUrl(QUrl(kFirst.toString()));
    EXPECT_EQ(journal->made, 1);
    EXPECT_TRUE(current()->isPlaying());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(journal->events, (QStringList { "1: item " + kFirst.toString(), "1: play" }));
}

TEST_F(BindingTest, NewUrlPausesTheOldClipBeforeTheNewOneLoads)
{
    binding.showUrl(kFirst);
    current()->play();
    journal->events.clear();
    QSignalSpy changed(&binding, &PlayerBinding::playerChanged);
    binding.showUrl(kSecond);
    EXPECT_EQ(journal->events, (QStringList { "1: pause", "1: gone", "2: item " + kSecond.toString() }));
    EXPECT_EQ(current()->currentSource(), kSecond);
    EXPECT_FALSE(current()->isPlaying());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(journal->alive, 1);
}

TEST_F(BindingTest, LentPlayerIsShownOnceAndNeverDeleted)
{
    RecordingPlayer lent(journal);
    QSignalSpy changed(&binding, &PlayerBinding::playerChanged);
    binding.showPlayer(&lent);
    binding.showPlayer(&lent);
    EXPECT_EQ(binding.player(), &lent);
    EXPECT_FALSE(binding.ownsPlayer());
    EXPECT_EQ(changed.count(), 1);

    lent.play();
    binding.showUrl(kSecond);
    EXPECT_FALSE(lent.isPlaying()) << "the lent player kept playing behind the new clip";
    EXPECT_EQ(journal->alive, 2) << "the lent player was deleted";
    EXPECT_TRUE(binding.ownsPlayer());
}

TEST_F(BindingTest, LentPlayerWithTheSameSourceIsKeptForThatUrl)
{
    RecordingPlayer lent(journal);
    lent.setItem(kFirst);
    binding.showPlayer(&lent);
    binding.showUrl(kFirst);
    EXPECT_EQ(binding.player(), &lent);
    EXPECT_EQ(journal->made, 1);
}

TEST_F(BindingTest, InvalidUrlLeavesNoPlayer)
{
    binding.showUrl(kFirst);
    binding.showUrl(QUrl(QStringLiteral("http://[::1")));
    EXPECT_EQ(binding.player(), nullptr);
    EXPECT_EQ(journal->alive, 0);
    binding.showUrl(QUrl());
    EXPECT_EQ(journal->made, 1);
}

TEST_F(BindingTest, DismantlePausesAndLetsGo)
{
    RecordingPlayer lent(journal);
    QVideoSink sink;
    binding.setVideoSink(&sink);
    binding.showPlayer(&lent);
    EXPECT_EQ(lent.sink(), &sink);
    lent.play();
    binding.dismantle();
    EXPECT_FALSE(lent.isPlaying());
    EXPECT_EQ(lent.sink(), nullptr) << "a lent player kept feeding the dismantled view";
    EXPECT_EQ(binding.player(), nullptr);
}

TEST_F(BindingTest, SinkFollowsEveryPlayerChange)
{
    QVideoSink sink;
    binding.showUrl(kFirst);
    auto* first = current();
    binding.setVideoSink(&sink);
    EXPECT_EQ(first->sink(), &sink);
    binding.showUrl(kSecond);
    EXPECT_EQ(current()->sink(), &sink);
}

TEST_F(BindingTest, LentPlayerDeletedByItsOwnerIsForgotten)
{
    auto lent = std::make_unique<RecordingPlayer>(journal);
    binding.showPlayer(lent.get());
    lent.reset();
    EXPECT_EQ(binding.player(), nullptr);
    binding.showUrl(kFirst); // must not touch the deleted player
    EXPECT_EQ(current()->currentSource(), kFirst);
}

} // namespace
} // namespace quorvel::testing
