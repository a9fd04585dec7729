// The toolkit's floor for playing clips: one QMediaPlayer into one full-screen QVideoWidget,
// looping the given files in order, with nothing drawn over it and nothing cached. What this costs
// on top of mpv is the price of the media stack itself, not of the saver built on it.
#include <QApplication>
#include <QMediaPlayer>
#include <QUrl>
#include <QVideoWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList files = app.arguments().mid(1);
    if (files.isEmpty())
        return 2;
    QVideoWidget view;
    QMediaPlayer player;
    player.setVideoOutput(&view);
    qsizetype next = 0;
    const auto playNext = [&] {
        player.setSource(QUrl::fromLocalFile(files.at(next)));
        next = (next + 1) % files.size();
        player.play();
    };
    QObject::connect(&player, &QMediaPlayer::mediaStatusChanged, &player, [&](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::EndOfMedia)
            playNext();
    });
    view.showFullScreen();
    playNext();
    return QApplication::exec();
}
