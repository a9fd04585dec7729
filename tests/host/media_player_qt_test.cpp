// The real player on real tiny clips: one end per item, frames kept across items, failures with
// text that do not stick, and players that end independently.
#include "platform/linux/media_player_qt.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>

using quorvel::platform::MediaPlayer;
using quorvel::platform::QtMediaPlayer;
using Status = MediaPlayer::ItemStatus;

namespace {

// A clip ffmpeg cannot render fails every test here rather than skipping it.
QString renderClip(const QTemporaryDir& dir, const QString& name, const QString& seconds)
{
    return quorvel::testing::renderTestClip(dir.filePath(name), seconds) ? dir.filePath(name) : QString();
}

class QtMediaPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        shortClip_ = QUrl::fromLocalFile(renderClip(*dir_, "short.mp4", "0.5"));
        longClip_ = QUrl::fromLocalFile(renderClip(*dir_, "long.mp4", "2.0"));
    }
    static void TearDownTestSuite() { delete dir_; }
    void SetUp() override
    {
        ASSERT_FALSE(shortClip_.path().isEmpty() || longClip_.path().isEmpty())
            << "ffmpeg could not render the test clips";
    }
    static inline QTemporaryDir* dir_ = nullptr;
    static inline QUrl shortClip_, longClip_;
};

TEST_F(QtMediaPlayerTest, EndsOnceOnItsOwnAndKeepsTheLastFrameIntoTheNextItem)
{
    QtMediaPlayer player, other;
    QSignalSpy statuses(&player, &MediaPlayer::statusChanged);
    QSignalSpy ends(&player, &MediaPlayer::endOfItem);
    QSignalSpy otherEnds(&other, &MediaPlayer::endOfItem);
    other.setItem(longClip_);
    other.play();
    QVideoSink sink;
    QSignalSpy frames(&sink, &QVideoSink::videoFrameChanged);
    player.setVideoSink(&sink);
    player.setItem(shortClip_);
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.count() > 0; }, 10000));
    EXPECT_EQ(otherEnds.count(), 0) << "one player's end must not end another's item";
    EXPECT_NEAR(player.durationSeconds(), 0.5, 0.15);
    ASSERT_EQ(statuses.count(), 1) << "ready is reported once, and only as a change";
    EXPECT_EQ(statuses.at(0).at(0).value<Status>(), Status::ReadyToPlay);
    // Lingering at the end (and a seek past it) must not advance a view a second time.
    player.seek(10.0);
    QTest::qWait(300);
    EXPECT_EQ(ends.count(), 1);

    player.setItem(longClip_);
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.positionSeconds() > 0.3; }, 10000));
    player.pause();
    EXPECT_TRUE(QTest::qWaitFor([&] { return otherEnds.count() == 1; }, 10000));
    ASSERT_GT(frames.count(), 0) << "frames must reach the sink that was set";
    for (const QList<QVariant>& args : frames)
        EXPECT_TRUE(args.at(0).value<QVideoFrame>().isValid()) << "an empty frame would flash black";
}

TEST_F(QtMediaPlayerTest, UnplayableItemsFailOnceWithTextThatDoesNotStick)
{
    QFile garbage(dir_->filePath("garbage.mp4"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    for (const QString& path : { garbage.fileName(), dir_->filePath("missing.mp4") }) {
        SCOPED_TRACE(path.toStdString());
        QtMediaPlayer player;
        QSignalSpy statuses(&player, &MediaPlayer::statusChanged);
        QSignalSpy ends(&player, &MediaPlayer::endOfItem);
        player.setItem(QUrl::fromLocalFile(path));
        player.play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return player.status() == Status::Failed; }, 10000));
        EXPECT_FALSE(player.errorText().isEmpty());
        QTest::qWait(100);
        EXPECT_EQ(statuses.count(), 1) << "a failure is reported once";
        EXPECT_EQ(ends.count(), 0) << "a failed item never ends";

        player.setItem(shortClip_);
        EXPECT_EQ(player.status(), Status::Unknown);
        EXPECT_TRUE(player.errorText().isEmpty()) << "the previous item's error must not stick";
        player.play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ends.count() == 1; }, 10000));
    }
}

} // namespace
