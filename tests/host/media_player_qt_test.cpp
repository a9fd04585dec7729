// The real player on real clips: readiness, one end per item, failures with text, independent ends.
#include "host/test_clips.h"
#include "platform/linux/media_player_qt.h"
#include "support/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>

using quorvel::platform::MediaPlayer;
using quorvel::platform::QtMediaPlayer;
using Status = MediaPlayer::ItemStatus;

namespace {

class QtMediaPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        shortClip_ = quorvel::testing::renderClip(*dir_, "short.mp4", 0.5, true);
        longClip_ = quorvel::testing::renderClip(*dir_, "long.mp4", 2.0);
    }
    static void TearDownTestSuite() { delete dir_; }

    void SetUp() override
    {
        if (shortClip_.isEmpty() || longClip_.isEmpty())
            GTEST_SKIP() << "ffmpeg could not render the test clips";
    }

    static inline QTemporaryDir* dir_ = nullptr;
    static inline QString shortClip_;
    static inline QString longClip_;
};

TEST_F(QtMediaPlayerTest, PlaysAClipToItsEndAndReportsTheEndOnce)
{
    QtMediaPlayer player;
    QSignalSpy statuses(&player, &MediaPlayer::statusChanged);
    QSignalSpy ends(&player, &MediaPlayer::endOfItem);
    QVideoSink sink;
    player.setVideoSink(&sink);
    player.setVolume(0.0);
    player.setItem(QUrl::fromLocalFile(shortClip_));
    EXPECT_EQ(player.status(), Status::Unknown);
    EXPECT_TRUE(player.hasItem());
    EXPECT_EQ(player.currentSource(), QUrl::fromLocalFile(shortClip_));
    player.play();

    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.count() > 0; }, 10000));
    EXPECT_EQ(player.status(), Status::ReadyToPlay);
    EXPECT_TRUE(player.errorText().isEmpty());
    EXPECT_NEAR(player.durationSeconds(), 0.5, 0.15);
    EXPECT_EQ(player.audioTrackCount(), 1);
    EXPECT_TRUE(sink.videoFrame().isValid()) << "frames must reach the sink that was set";
    // Ready is reported once, and only as a change.
    ASSERT_EQ(statuses.count(), 1);
    EXPECT_EQ(statuses.at(0).at(0).value<Status>(), Status::ReadyToPlay);

    // Lingering at the end (and a seek past it) must not advance a view a second time.
    player.seek(10.0);
    QTest::qWait(300);
    EXPECT_EQ(ends.count(), 1);
}

TEST_F(QtMediaPlayerTest, SinkKeepsTheLastFrameAcrossAnItemChange)
{
    QtMediaPlayer player;
    QVideoSink sink;
    QSignalSpy frames(&sink, &QVideoSink::videoFrameChanged);
    QSignalSpy ends(&player, &MediaPlayer::endOfItem);
    player.setVideoSink(&sink);
    player.setItem(QUrl::fromLocalFile(shortClip_));
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.count() > 0; }, 10000));
    player.setItem(QUrl::fromLocalFile(longClip_));
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.positionSeconds() > 0.3; }, 10000));
    player.pause();
    for (const QList<QVariant>& args : frames)
        EXPECT_TRUE(args.at(0).value<QVideoFrame>().isValid()) << "an empty frame would flash black";
    EXPECT_TRUE(sink.videoFrame().isValid());
}

TEST_F(QtMediaPlayerTest, UnplayableItemsFailWithText)
{
    QFile garbage(dir_->filePath("garbage.mp4"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    const struct {
        const char* name;
        QUrl url;
    } cases[] = {
        { "bytes that are no media", QUrl::fromLocalFile(garbage.fileName()) },
        { "a file that does not exist", QUrl::fromLocalFile(dir_->filePath("missing.mp4")) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QtMediaPlayer player;
        QSignalSpy statuses(&player, &MediaPlayer::statusChanged);
        QSignalSpy ends(&player, &MediaPlayer::endOfItem);
        player.setItem(c.url);
        player.play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return player.status() == Status::Failed; }, 10000));
        EXPECT_FALSE(player.errorText().isEmpty());
        QTest::qWait(100);
        ASSERT_EQ(statuses.count(), 1) << "a failure is reported once";
        EXPECT_EQ(statuses.at(0).at(0).value<Status>(), Status::Failed);
        EXPECT_EQ(ends.count(), 0) << "a failed item never ends";
    }
}

TEST_F(QtMediaPlayerTest, ANewItemStartsUnknownAndCanEndAgain)
{
    QtMediaPlayer player;
    QSignalSpy ends(&player, &MediaPlayer::endOfItem);
    player.setItem(QUrl::fromLocalFile(dir_->filePath("missing.mp4")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.status() == Status::Failed; }, 10000));
    player.setItem(QUrl::fromLocalFile(shortClip_));
    EXPECT_EQ(player.status(), Status::Unknown);
    EXPECT_TRUE(player.errorText().isEmpty()) << "the previous item's error must not stick";
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.count() == 1; }, 10000));
    player.setItem(QUrl::fromLocalFile(shortClip_));
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.count() == 2; }, 10000));
}

TEST_F(QtMediaPlayerTest, TwoPlayersEndIndependently)
{
    QtMediaPlayer shortPlayer;
    QtMediaPlayer longPlayer;
    QSignalSpy shortEnds(&shortPlayer, &MediaPlayer::endOfItem);
    QSignalSpy longEnds(&longPlayer, &MediaPlayer::endOfItem);
    shortPlayer.setItem(QUrl::fromLocalFile(shortClip_));
    longPlayer.setItem(QUrl::fromLocalFile(longClip_));
    longPlayer.play();
    shortPlayer.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shortEnds.count() > 0; }, 10000));
    EXPECT_EQ(longEnds.count(), 0) << "one player's end must not end another's item";
    EXPECT_TRUE(longPlayer.isPlaying());
    ASSERT_TRUE(QTest::qWaitFor([&] { return longEnds.count() > 0; }, 10000));
    EXPECT_EQ(shortEnds.count(), 1);
}

TEST_F(QtMediaPlayerTest, VolumeIsClampedAndSeekMoves)
{
    QtMediaPlayer player;
    const struct {
        double in;
        double out;
    } volumes[] = { { -1.0, 0.0 }, { 0.3, 0.3 }, { 4.0, 1.0 } };
    for (const auto& v : volumes) {
        player.setVolume(v.in);
        EXPECT_NEAR(player.volume(), v.out, 1e-6) << v.in;
    }
    player.setItem(QUrl::fromLocalFile(longClip_));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.status() == Status::ReadyToPlay; }, 10000));
    player.seek(1.2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.positionSeconds() > 1.0; }, 5000));
    EXPECT_FALSE(player.isPlaying());
}

// Byte ranges as a clip host answers them; the streaming source needs them to seek.
quorvel::testing::CannedReply rangedReply(const QByteArray& body, const quorvel::testing::ReceivedRequest& request)
{
    quorvel::testing::CannedReply reply;
    reply.headers = { { "Content-Type", "video/mp4" }, { "Accept-Ranges", "bytes" } };
    const QRegularExpressionMatch range
        = QRegularExpression("^bytes=(\\d+)-(\\d*)$").match(QString::fromLatin1(request.headers.value("range")));
    if (!range.hasMatch()) {
        reply.body = body;
        return reply;
    }
    const qint64 first = range.captured(1).toLongLong();
    const qint64 last = range.captured(2).isEmpty() ? body.size() - 1
                                                    : std::min<qint64>(range.captured(2).toLongLong(), body.size() - 1);
    reply.status = 206;
    reply.body = body.mid(first, last - first + 1);
    reply.headers.append({ "Content-Range",
        QByteArray("bytes ") + QByteArray::number(first) + '-' + QByteArray::number(last) + '/'
            + QByteArray::number(body.size()) });
    return reply;
}

TEST_F(QtMediaPlayerTest, StreamsOverHttpToItsEndAndFailsOnAMissingClip)
{
    QFile clip(shortClip_);
    ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
    const QByteArray body = clip.readAll();
    quorvel::testing::LoopbackHttpServer server;
    server.serve("/clips/short.mp4",
        [body](const quorvel::testing::ReceivedRequest& request) { return rangedReply(body, request); });

    QtMediaPlayer player;
    QSignalSpy ends(&player, &MediaPlayer::endOfItem);
    player.setItem(server.url("/clips/short.mp4"));
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ends.count() == 1 || player.status() == Status::Failed; }, 10000));
    EXPECT_EQ(player.status(), Status::ReadyToPlay) << player.errorText().toStdString();
    EXPECT_EQ(ends.count(), 1);

    player.setItem(server.url("/clips/gone.mp4"));
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.status() == Status::Failed; }, 10000));
    EXPECT_FALSE(player.errorText().isEmpty());
    EXPECT_EQ(ends.count(), 1);
}

} // namespace
