#include "app/library/history_video_preview.h"
#include "app/library/library_widget.h"
#include "app/library/player_view.h"
#include "app/library/thumbnail_cache.h"
#include "fake_frame_grabber.h"
#include "fake_media_player.h"
#include "library_fixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace quorvel::testing {
namespace {

using library::LibraryTile;
using library::LibraryWidget;

const QString kA = QStringLiteral("https://cdn.example/a.mp4");
const QString kB = QStringLiteral("https://cdn.example/b.mp4");

template <typename T> QList<T*> shown(QWidget& root, const QString& text)
{
    QList<T*> found;
    for (T* widget : root.findChildren<T*>())
        if (widget->text() == text && widget->isVisibleTo(&root))
            found << widget;
    return found;
}

struct LibraryWidgetTest : LibraryFixture {
    // The window as the app makes it; it loads when shown.
    std::unique_ptr<LibraryWidget> open(library::ThumbnailCache* thumbnails = nullptr)
    {
        auto* model = new library::LibraryView(auth);
        auto widget = std::make_unique<LibraryWidget>(
            model, library::LibraryWidgetServices { recordingFactory(players), thumbnails, [this] { ++creates; } });
        widget->resize(780, 560);
        widget->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->loaded(); }, 3000));
        QCoreApplication::processEvents();
        return widget;
    }

    std::shared_ptr<PlayerJournal> players = std::make_shared<PlayerJournal>();
    int creates = 0;
};

TEST_F(LibraryWidgetTest, EmptyLibraryOffersTheCreateWindow)
{
    server.serve("/history", reply(200, history({})));
    auto widget = open();
    EXPECT_EQ(shown<QLabel>(*widget, "Your wumbles").size(), 1);
    EXPECT_EQ(shown<QLabel>(*widget, "No wumbles yet").size(), 1);
    EXPECT_EQ(shown<QLabel>(*widget, "Generate one from the Create screen.").size(), 1);
    auto create = shown<QPushButton>(*widget, "Create a wumble");
    ASSERT_EQ(create.size(), 1);
    create[0]->click();
    EXPECT_EQ(creates, 1);
}

TEST_F(LibraryWidgetTest, FailedLoadShowsTheWarningAndRefreshRecovers)
{
    server.serve("/history", reply(500, ""));
    auto widget = open();
    EXPECT_EQ(shown<QLabel>(*widget, library::texts::loadFailed).size(), 1);
    // A user with clips must not read that there are none.
    EXPECT_TRUE(shown<QLabel>(*widget, "No wumbles yet").isEmpty());
    EXPECT_TRUE(shown<QPushButton>(*widget, "Create a wumble").isEmpty());
    server.serve("/history", reply(200, history({ entry(kA) })));
    QToolButton* refresh = nullptr;
    for (auto* button : widget->findChildren<QToolButton*>())
        if (button->accessibleName() == "Refresh")
            refresh = button;
    ASSERT_NE(refresh, nullptr);
    refresh->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget->tiles().size() == 1; }, 3000));
    EXPECT_TRUE(shown<QLabel>(*widget, library::texts::loadFailed).isEmpty());
    EXPECT_TRUE(shown<QLabel>(*widget, "No wumbles yet").isEmpty());
}

TEST_F(LibraryWidgetTest, TilesCarryEveryControlAndNoPlayerUntilStarted)
{
    server.serve("/history", reply(200, history({ entry(kA, "Harbor"), entry(kB, "", true) })));
    auto widget = open();
    ASSERT_EQ(widget->tiles().size(), 2);
    EXPECT_EQ(shown<QPushButton>(*widget, "Open Large Preview").size(), 2);
    EXPECT_EQ(shown<QPushButton>(*widget, "Save Title").size(), 2);
    EXPECT_EQ(shown<QPushButton>(*widget, "Add to Community").size(), 1);
    EXPECT_EQ(shown<QLabel>(*widget, "Published").size(), 1);
    EXPECT_EQ(shown<QLabel>(*widget, "Update or clear this title at any time").size(), 2);
    EXPECT_EQ(shown<QLabel>(*widget, "Title saved").size(), 0);
    const auto fields = widget->findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 2);
    EXPECT_EQ(fields[0]->placeholderText(), "Optional title");
    EXPECT_EQ(fields[0]->text(), "Harbor");
    EXPECT_EQ(players->made, 0) << "tiles made players before anyone pressed play";

    // Stretched far beyond its content, a tile still keeps its title, hint and buttons together.
    widget->resize(1600, 1400);
    QCoreApplication::processEvents();
    for (LibraryTile* tile : widget->tiles()) {
        auto* title = tile->findChild<QLineEdit*>();
        auto* save = shown<QPushButton>(*tile, "Save Title").value(0);
        ASSERT_NE(save, nullptr);
        EXPECT_LT(save->y() - title->geometry().bottom(), 3 * title->height()) << "a gap opened inside a tile";
    }

    widget->tiles()[1]->playerView()->togglePlayback();
    EXPECT_EQ(players->made, 1);
    EXPECT_TRUE(widget->tiles()[1]->playerView()->player()->isPlaying());
}

TEST_F(LibraryWidgetTest, TypedTitleIsSavedOnReturnAndReportedOnItsTile)
{
    server.serve("/history", reply(200, history({ entry(kA), entry(kB) })));
    server.serve("/title", reply(200, "{}"));
    auto widget = open();
    auto* field = widget->tiles()[1]->findChild<QLineEdit*>();
    const QString typed = QString::fromUtf8("  ירח 🌙 <i>x</i>");
    // One key event carrying the whole text, as an input method delivers it.
    QKeyEvent typing(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
    QApplication::sendEvent(field, &typing);
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget->view().savedUrl() == kB; }, 3000));
    EXPECT_EQ(bodyOf(server.requestsTo("/title").value(0)).value("title").toString(), typed);
    EXPECT_TRUE(shown<QLabel>(*widget->tiles()[1], "Title saved").size() == 1);
    EXPECT_TRUE(shown<QLabel>(*widget->tiles()[0], "Title saved").isEmpty());
}

TEST_F(LibraryWidgetTest, RefusedPublishKeepsTheButtonAndTheTypedTitle)
{
    server.serve("/history", reply(200, history({ entry(kA) })));
    server.serve("/publish", reply(403, ""));
    auto widget = open();
    auto* field = widget->tiles()[0]->findChild<QLineEdit*>();
    QTest::keyClicks(field, "Dawn");
    shown<QPushButton>(*widget, "Add to Community").value(0)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return widget->view().error().has_value(); }, 3000));
    EXPECT_EQ(shown<QLabel>(*widget, library::texts::publishFailed).size(), 1);
    EXPECT_EQ(shown<QPushButton>(*widget, "Add to Community").size(), 1);
    EXPECT_TRUE(shown<QLabel>(*widget, "Published").isEmpty());
    EXPECT_EQ(field->text(), "Dawn");
}

TEST_F(LibraryWidgetTest, LargePreviewShowsTheItemAndClearsWhenClosed)
{
    const QByteArray item = R"({"url":"https://cdn.example/a.mp4","prompt":"<b>fog</b> over water","style":"noir",
        "motion":"push-in","vibe":"calm","tier":"lite","soundscape":"none"})";
    server.serve("/history", reply(200, history({ item })));
    auto widget = open();
    widget->tiles()[0]->playerView()->togglePlayback();
    shown<QPushButton>(*widget, "Open Large Preview").value(0)->click();
    EXPECT_FALSE(widget->tiles()[0]->playerView()->player()->isPlaying()) << "the tile played on under the sheet";
    auto* preview = widget->preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_TRUE(preview->isModal());
    EXPECT_EQ(widget->view().previewItem()->url, kA);
    EXPECT_EQ(preview->headerText(), "Untitled wumble");
    EXPECT_EQ(preview->promptText(), "<b>fog</b> over water");
    EXPECT_EQ(preview->recipeText(),
        QString::fromUtf8("Style: noir · Motion: push-in · Vibe: calm · Quality: Lite · Sound: Silent"));
    auto* player = static_cast<RecordingPlayer*>(preview->player());
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->currentSource(), QUrl(kA));
    EXPECT_FALSE(player->isPlaying());

    shown<QPushButton>(*preview, "Close").value(0)->click();
    EXPECT_EQ(widget->view().previewItem(), std::nullopt);
    QTRY_COMPARE_WITH_TIMEOUT(players->alive, 1, 1000);
}

TEST_F(LibraryWidgetTest, PreviewOfAnUnparsableAddressLeavesThePlayerEmpty)
{
    library::LibraryItem item;
    item.url = "http://[::1";
    item.title = QString::fromUtf8("مرحبا");
    library::HistoryVideoPreview preview(item, recordingFactory(players));
    preview.show();
    EXPECT_EQ(preview.headerText(), QString::fromUtf8("مرحبا"));
    ASSERT_NE(preview.player(), nullptr);
    EXPECT_FALSE(preview.player()->hasItem());
}

TEST_F(LibraryWidgetTest, LongRightToLeftAndEmojiTitlesShowWholeWithoutWideningTheSheet)
{
    library::LibraryItem item;
    item.url = kA;
    for (const QString& title : { QString(3000, QLatin1Char('W')), QString::fromUtf8("נמל בלילה 🌃 <b>x</b>\nשורה") }) {
        item.title = title;
        library::HistoryVideoPreview preview(item, recordingFactory(players));
        preview.resize(720, 600);
        preview.show();
        EXPECT_EQ(preview.headerText(), title);
        EXPECT_EQ(preview.windowTitle(), title);
        EXPECT_LE(preview.minimumSizeHint().width(), 720);
        EXPECT_LE(preview.width(), 720) << "a long title widened the sheet";
    }
}

TEST_F(LibraryWidgetTest, EachShowingGivesThePreviewAFreshItemAndHidingPauses)
{
    library::LibraryItem item;
    item.url = kA;
    library::HistoryVideoPreview preview(item, recordingFactory(players));
    preview.show();
    preview.player()->play();
    preview.hide();
    EXPECT_FALSE(preview.player()->isPlaying());
    players->events.clear();
    preview.show();
    EXPECT_EQ(players->events, (QStringList { "1: item " + kA }));
}

TEST_F(LibraryWidgetTest, APreviewOpenedBeforeItsThumbnailShowsItOnceDecodedWithoutPlaying)
{
    QTemporaryDir cacheDir;
    auto grabbing = std::make_shared<CountingFrameGrabber>();
    library::ThumbnailCache thumbnails(grabbing, cacheDir.filePath("thumbnails"));
    // Another clip's thumbnail is on its way and must not land on this sheet.
    thumbnails.request(QUrl(kB));
    library::LibraryItem item;
    item.url = kA;
    library::HistoryVideoPreview preview(item, recordingFactory(players), &thumbnails);
    preview.show();
    bool otherLanded = false;
    QObject::connect(&thumbnails, &library::ThumbnailCache::ready, &preview, [&](const QUrl& clip) {
        otherLanded = otherLanded || (clip == QUrl(kB) && !preview.playerView()->poster().isNull());
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return grabbing->decodes == 2 && !thumbnails.cached(QUrl(kA)).isNull(); }));
    EXPECT_FALSE(otherLanded) << "another clip's thumbnail showed on the sheet";
    QCoreApplication::processEvents();
    EXPECT_EQ(preview.playerView()->poster(), thumbnails.cached(QUrl(kA)));
    EXPECT_FALSE(preview.player()->isPlaying());

    library::HistoryVideoPreview again(item, recordingFactory(players), &thumbnails);
    EXPECT_EQ(again.playerView()->poster(), thumbnails.cached(QUrl(kA)));
    EXPECT_EQ(grabbing->decodes, 2) << "the clip was decoded again";
}

// A decode that failed in an outage is tried again when the library opens again, not before.
TEST_F(LibraryWidgetTest, AFailedThumbnailIsTriedAgainAtTheNextOpening)
{
    const QString broken = QStringLiteral("https://cdn.example/broken.mp4");
    server.serve("/history", reply(200, history({ entry(broken) })));
    QTemporaryDir cacheDir;
    auto grabbing = std::make_shared<CountingFrameGrabber>();
    library::ThumbnailCache thumbnails(grabbing, cacheDir.filePath("thumbnails"));
    auto first = open(&thumbnails);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grabbing->decodes == 1; }, 3000));
    first->requestVisibleThumbnails();
    QTest::qWait(20);
    EXPECT_EQ(grabbing->decodes, 1) << "retried within one opening";
    first.reset();
    auto second = open(&thumbnails);
    EXPECT_TRUE(QTest::qWaitFor([&] { return grabbing->decodes == 2; }, 3000));
}

TEST_F(LibraryWidgetTest, TwoHundredClipsOpenWithoutTwoHundredDecodesOrPlayers)
{
    QList<QByteArray> entries;
    for (int i = 0; i < 200; ++i)
        entries << entry(QStringLiteral("https://cdn.example/clip-%1.mp4").arg(i));
    server.serve("/history", reply(200, history(entries)));
    QTemporaryDir cacheDir;
    std::shared_ptr<CountingFrameGrabber> grabbing = std::make_shared<CountingFrameGrabber>();
    CountingFrameGrabber& grabber = *grabbing;
    int firstOpen = 0;
    {
        library::ThumbnailCache thumbnails(grabbing, cacheDir.filePath("thumbnails"));
        auto widget = open(&thumbnails);
        ASSERT_EQ(widget->tiles().size(), 200);
        QTest::qWait(50);
        firstOpen = grabber.decodes;
        EXPECT_GE(firstOpen, 2) << "the tiles in view got no thumbnail";
        EXPECT_LE(firstOpen, 8) << "clips out of view were decoded";
        EXPECT_TRUE(widget->tiles()[0]->hasPoster());
        EXPECT_FALSE(widget->tiles()[199]->hasPoster());

        auto* bar = widget->findChild<QScrollArea*>()->verticalScrollBar();
        bar->setValue(bar->maximum());
        QTest::qWait(50);
        EXPECT_TRUE(widget->tiles()[199]->hasPoster());
        EXPECT_LE(grabber.decodes, 2 * firstOpen + 2);
        EXPECT_EQ(players->made, 0);
    }
    // The next opening (a new window, a new cache object) reads the same pictures from disk.
    const int before = grabber.decodes;
    library::ThumbnailCache thumbnails(grabbing, cacheDir.filePath("thumbnails"));
    auto widget = open(&thumbnails);
    QTest::qWait(50);
    EXPECT_TRUE(widget->tiles()[0]->hasPoster());
    EXPECT_EQ(grabber.decodes, before) << "thumbnails on disk were decoded again";
    EXPECT_EQ(players->made, 0);

    // The large preview starts from the same picture instead of black.
    widget->view().setPreviewItem(widget->view().items()[0]);
    ASSERT_NE(widget->preview(), nullptr);
    EXPECT_EQ(widget->preview()->playerView()->poster(), widget->tiles()[0]->playerView()->poster());
}

} // namespace
} // namespace quorvel::testing
