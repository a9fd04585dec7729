// The main window's content rendered offscreen, one state at a time: which controls a user (or an
// assistive tool) finds, what they say, and that the buttons reach the model.
#include "app/shell/content_widget.h"
#include "app/shell/main_window.h"
#include "app/shell/move_card.h"
#include "content_fixture.h"
#include "support/coro.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>

#include <gtest/gtest.h>

namespace quorvel::app {
namespace {

using namespace contentTesting;
using quorvel::testing::await;

QByteArray png()
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct ContentWidgetTest : ::testing::Test, ContentFixture {
    ContentWidgetTest()
    {
        writeExtension(embedded(), QStringLiteral("1.0.0"));
        arrange({ 1 });
        server.serve("/cdn/logo.png", CannedReply { 200, { { "Content-Type", "image/png" } }, png() });
    }

    // The content of a fresh view, shown offscreen.
    ContentWidget& render()
    {
        widget.reset();
        make();
        widget = std::make_unique<ContentWidget>(view.release(), doubles.network);
        widget->show();
        QCoreApplication::processEvents();
        return *widget;
    }

    // Accessible names of the controls a user can see and use.
    QStringList buttons() const
    {
        QStringList names;
        for (const auto* b : widget->findChildren<QAbstractButton*>())
            if (b->isVisibleTo(widget.get()))
                names << b->accessibleName() + (b->isEnabled() ? QString() : QStringLiteral(" (off)"));
        return names;
    }
    QStringList texts() const
    {
        QStringList shown;
        for (const auto* l : widget->findChildren<QLabel*>())
            if (l->isVisibleTo(widget.get()) && !l->text().isEmpty())
                shown << l->text();
        return shown;
    }
    // Whether a label with this accessible name can be seen.
    bool showsLabel(const QString& name) const { return visibleLabel(name) != nullptr; }
    // The text of the visible label with this accessible name; a failure, not a crash, without one.
    QString labelText(const QString& name) const
    {
        if (const QLabel* label = visibleLabel(name))
            return label->text();
        ADD_FAILURE() << "no visible label named " << name.toStdString();
        return {};
    }
    ContentView& model() const { return widget->view(); }

    std::unique_ptr<ContentWidget> widget;

    const QLabel* visibleLabel(const QString& name) const
    {
        for (const auto* l : widget->findChildren<QLabel*>())
            if (l->accessibleName() == name && l->isVisibleTo(widget.get()))
                return l;
        return nullptr;
    }
};

TEST_F(ContentWidgetTest, OnboardingOffersTheOneClickThenTheFirstWumble)
{
    ContentWidget& w = render();
    EXPECT_EQ(w.width(), 460);
    EXPECT_EQ(w.pageName(), QStringLiteral("onboarding"));
    EXPECT_EQ(buttons(), QStringList { "Enable as Screensaver" });
    EXPECT_TRUE(texts().contains("Welcome to the good kind of wumble."));
    EXPECT_TRUE(texts().contains("One click - no System Settings maze."));
    ASSERT_TRUE(waitFor([&] { return w.logoLoaded(); })) << "the logo comes from the CDN";
    EXPECT_EQ(server.requestsTo("/cdn/logo.png").size(), 1);

    for (auto* b : w.findChildren<QAbstractButton*>())
        if (b->accessibleName() == contentTexts::enableAsScreensaver && b->isVisibleTo(&w))
            b->click();
    ASSERT_TRUE(waitFor([&] { return model().showsAllSet() && !model().isEnabling(); }));
    EXPECT_EQ(buttons(), QStringList { "Make your first wumble - it's free" });
    EXPECT_TRUE(texts().contains("You're all set - Quorvel is your screensaver."));

    for (auto* b : w.findChildren<QAbstractButton*>())
        if (b->accessibleName() == contentTexts::makeFirstWumble)
            b->click();
    EXPECT_EQ(opened, QStringList { "create" });
    EXPECT_EQ(w.pageName(), QStringLiteral("main"));
}

TEST_F(ContentWidgetTest, AFailedEnableShowsItsReasonUnderTheButton)
{
    sleeper->duringWait = [this] { writeStore(initial); };
    ContentWidget& w = render();
    await(model().enable());
    EXPECT_EQ(w.pageName(), QStringLiteral("onboarding"));
    EXPECT_EQ(buttons(), QStringList { "Enable as Screensaver" });
    EXPECT_TRUE(texts().contains("Couldn't make the screensaver change; the previous settings were restored."));
    EXPECT_FALSE(texts().contains("One click - no System Settings maze."));
}

TEST_F(ContentWidgetTest, MainScreenBeforeInstallingOffersInstallAndThePlans)
{
    onboarded();
    ContentWidget& w = render();
    EXPECT_EQ(w.pageName(), QStringLiteral("main"));
    ASSERT_TRUE(waitFor([&] { return model().credits() == 3; })) << "showing the main screen reads the balance";
    EXPECT_EQ(debugChecks, 1);
    EXPECT_EQ(buttons(),
        (QStringList { "Create Wumble", "Your Wumbles", "Start Screen Saver",
            "Put your wumbles on everyone's screensaver", "Install", "Open Screen Saver Settings" }))
        << "no daemon runs this desktop, so no daemon card";
    EXPECT_EQ(labelText("Screensaver status"), QStringLiteral("Screensaver not installed"));
    EXPECT_TRUE(showsLabel("grey"));
    EXPECT_EQ(labelText("Credits"), QStringLiteral("3 wumble credits"));
    EXPECT_TRUE(texts().contains("One free wumble, on us for downloading · plans from $1.99/mo"));
    EXPECT_FALSE(texts().contains("Quorvel needs to reconnect"));

    for (auto* b : w.findChildren<QAbstractButton*>())
        if (b->accessibleName() == QStringLiteral("Install"))
            b->click();
    ASSERT_TRUE(waitFor([&] { return model().statusMessage() == QStringLiteral("Extension installed successfully"); }));
    EXPECT_TRUE(buttons().contains("Enable as Screensaver"));
    EXPECT_EQ(labelText("Install status"), QStringLiteral("Extension installed successfully"));
    EXPECT_TRUE(showsLabel("orange"));
}

TEST_F(ContentWidgetTest, MainScreenWithTheScreensaverActiveAndAJobRunningInDebugMode)
{
    onboarded();
    defaults.values.insert(QStringLiteral("debugMode"), true);
    server.serve("/balance", json(200, R"({"credits":8,"paid":true})"));
    ContentWidget& w = render();
    await(model().enable());
    ASSERT_TRUE(waitFor([&] { return model().paid(); }));
    startJob();
    EXPECT_EQ(buttons(),
        (QStringList { "Create Wumble (off)", "Your Wumbles", "Start Screen Saver", "Debug console",
            "Open Screen Saver Settings" }))
        << "no plans for a paid user, no status button once active";
    EXPECT_EQ(labelText("Screensaver status"), QStringLiteral("Screensaver active"));
    EXPECT_TRUE(showsLabel("green"));
    EXPECT_EQ(labelText("Stage"), QStringLiteral("Creating the keyframe…"));
    EXPECT_EQ(labelText("Credits"), QStringLiteral("Debug · Unlimited wumble credits"));
    EXPECT_TRUE(texts().contains("Generating a wumble"));
    auto* console = w.findChild<QPlainTextEdit*>();
    ASSERT_NE(console, nullptr);
    EXPECT_FALSE(console->isVisibleTo(&w)) << "folded until asked";
    for (auto* b : w.findChildren<QAbstractButton*>())
        if (b->accessibleName() == contentTexts::debugConsole)
            b->click();
    EXPECT_TRUE(model().debugLogExpanded());
    EXPECT_TRUE(console->isVisibleTo(&w));
    EXPECT_EQ(console->toPlainText(), QString::fromUtf8(job.log));
    EXPECT_TRUE(console->isReadOnly());

    // A log that looks like markup stays text.
    job.log = "<b>bold</b>\nanimating...";
    ASSERT_TRUE(waitFor([&] { return console->toPlainText() == QStringLiteral("<b>bold</b>\nanimating..."); }));
    finishJob(R"({"done":true,"ok":true,"clip":"https://cdn.example/c.mp4","log":"done"})");
    EXPECT_TRUE(buttons().contains("Preview"));
    EXPECT_TRUE(buttons().contains("Create Wumble"));
    EXPECT_TRUE(texts().contains("Wumble ready"));
    EXPECT_TRUE(texts().contains("Latest wumble"));
}

TEST_F(ContentWidgetTest, AllSetOnADesktopThatCannotWatchIdleSaysHowToStartIt)
{
    idle.reason = QStringLiteral("This desktop does not say when it is idle.");
    render();
    await(model().enable());
    EXPECT_TRUE(texts().contains("You're all set - Quorvel is your screensaver."));
    EXPECT_TRUE(texts().contains("This desktop can't say when it's idle, so the screensaver won't start by itself - "
                                 "use Start Screen Saver."));
}

TEST_F(ContentWidgetTest, TheDaemonsCardAndTheStartLineFollowTheDesktopWhenTheWindowComesForward)
{
    onboarded();
    sessions.running = platform::ScreensaverDaemonKind::xssLock;
    ContentWidget& w = render();
    await(model().enable());
    EXPECT_TRUE(texts().contains("On this desktop, xss-lock starts the screensaver."));
    const QLabel* line = visibleLabel("Locker environment line");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), QStringLiteral("XSECURELOCK_SAVER=") + saverPath);
    EXPECT_TRUE(line->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_FALSE(buttons().contains("Add to Desktop Screensaver"));

    // The user switches to xscreensaver, then comes back to the window.
    sessions.running = platform::ScreensaverDaemonKind::xscreensaver;
    sessions.installed = { platform::ScreensaverDaemonKind::xscreensaver };
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_TRUE(buttons().contains("Add to Desktop Screensaver"));
    EXPECT_FALSE(line->isVisibleTo(&w));
    EXPECT_TRUE(texts().contains("On this desktop, xscreensaver starts the screensaver."));
}

TEST_F(ContentWidgetTest, AServiceThatIsDownShowsTheBannerWithRetry)
{
    onboarded();
    server.serve("/enroll", CannedReply { 200, {}, {}, CannedReply::Mode::CutMidBody });
    ContentWidget& w = render();
    ASSERT_TRUE(waitFor([&] { return model().enrollmentError().has_value(); }));
    EXPECT_TRUE(buttons().contains("Retry"));
    EXPECT_TRUE(texts().contains("Quorvel needs to reconnect"));
    EXPECT_TRUE(texts().contains(*model().enrollmentError()));
    EXPECT_TRUE(buttons().contains("Create Wumble")) << "everything else stays usable";
    EXPECT_EQ(labelText("Screensaver status"), QStringLiteral("Screensaver not installed"));
    EXPECT_EQ(model().creditCaption(), std::nullopt);
    EXPECT_TRUE(model().showsPlans());

    server.serve("/enroll", json(200, R"({"token":"t"})"));
    for (auto* b : w.findChildren<QAbstractButton*>())
        if (b->accessibleName() == contentTexts::retry)
            b->click();
    EXPECT_EQ(model().enrollmentError(), std::nullopt) << "Retry clears the banner at once";
    ASSERT_TRUE(waitFor([&] { return model().credits() == 3; }));
    EXPECT_FALSE(buttons().contains("Retry"));
}

TEST_F(ContentWidgetTest, OutsideTheApplicationsFolderOnlyTheMoveCardShows)
{
    make(home.filePath(QStringLiteral("Downloads/Quorvel.app")));
    MainWindow window(*app);
    window.setContent(new ContentWidget(view.release(), doubles.network));
    window.show();
    auto* content = qobject_cast<ContentWidget*>(window.content());
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->pageName(), QStringLiteral("moveCard"));
    ASSERT_NE(window.moveCard(), nullptr);
    EXPECT_TRUE(window.moveCard()->isVisible());
    for (const auto* b : content->findChildren<QAbstractButton*>())
        EXPECT_FALSE(b->isVisibleTo(&window)) << b->accessibleName().toStdString();
    EXPECT_EQ(debugChecks, 0);
}

} // namespace
} // namespace quorvel::app
