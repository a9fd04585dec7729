// The platform's media stack streams and seeks a clip straight from the service, which only
// works when byte ranges are answered correctly.
#include "service_fixture.h"

#include <QMediaPlayer>
#include <QTimer>
#include <QVideoSink>

using namespace quorvel::testing;

namespace {

using ServicePlaybackTest = ServiceFixture<>;

// Spins the event loop until `done` holds or 10 s pass.
template <typename Predicate> bool waitFor(Predicate done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] { done() ? loop.quit() : void(); });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    poll.start(20);
    loop.exec();
    return done();
}

TEST_F(ServicePlaybackTest, PlayerLoadsSeeksAndPlaysAClipOverHttp)
{
    const QString clip = makeClip("a soap bubble freezing solid on a pine branch");
    QMediaPlayer player;
    QVideoSink sink;
    player.setVideoSink(&sink);
    QString error;
    QObject::connect(
        &player, &QMediaPlayer::errorOccurred, [&](QMediaPlayer::Error, const QString& text) { error = text; });
    int frames = 0;
    QObject::connect(&sink, &QVideoSink::videoFrameChanged, [&] { ++frames; });

    player.setSource(QUrl(clip));
    ASSERT_TRUE(waitFor([&] { return player.mediaStatus() == QMediaPlayer::LoadedMedia || !error.isEmpty(); }));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_NEAR(player.duration(), 3500, 200);
    player.setPosition(2500);
    player.play();
    EXPECT_TRUE(waitFor([&] { return player.mediaStatus() == QMediaPlayer::EndOfMedia || !error.isEmpty(); }))
        << "status " << player.mediaStatus();
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_GT(frames, 0);
}

} // namespace
