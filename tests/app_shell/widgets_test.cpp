#include "app/shell/main_window.h"
#include "app/shell/move_card.h"
#include "app/shell/quorvel_app.h"
#include "app/shell/update_window.h"
#include "app/shell/widget_window_host.h"
#include "tests/app_shell/shell_doubles.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

using quorvel::app::MainWindow;
using quorvel::app::QuorvelApp;

QStringList visibleButtonTexts(const QWidget& widget)
{
    QStringList texts;
    for (const auto* button : widget.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&widget))
            texts << button->accessibleName();
    return texts;
}

class ShellWidgetsTest : public ::testing::Test, protected quorvel::testing::AppDoubles {
protected:
    std::unique_ptr<QuorvelApp> makeApp(const QString& bundlePath)
    {
        return std::make_unique<QuorvelApp>(services(bundlePath, { root.filePath("Applications") }));
    }

    QTemporaryDir root;
};

TEST_F(ShellWidgetsTest, MenuOffersCheckForUpdatesRightAfterAboutAndItAsksTheUpdater)
{
    const auto app = makeApp(root.filePath("Applications/Quorvel.app"));
    quorvel::app::WidgetWindowHost host(*app);
    MainWindow window(*app);
    const auto menus = window.menuBar()->actions();
    ASSERT_FALSE(menus.isEmpty());
    QStringList items;
    for (const QAction* action : menus.first()->menu()->actions())
        items << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(items, (QStringList { "About Quorvel", "Check for Updates…", "-", "Quit Quorvel" }));

    menus.first()->menu()->actions().at(1)->trigger();
    EXPECT_EQ(updater.checks, 1);
    ASSERT_TRUE(host.updateWindow());
    EXPECT_TRUE(host.updateWindow()->isVisible()) << "the answer window shows while checking";
    EXPECT_FALSE(window.moveCard()) << "installed: no move card";
}

TEST_F(ShellWidgetsTest, MoveCardFollowsTheManagerAndAsksBeforeReplacing)
{
    QDir().mkpath(root.filePath("Downloads/Quorvel.app/Contents"));
    QDir().mkpath(root.filePath("Applications/Quorvel.app/Contents"));
    const auto app = makeApp(root.filePath("Downloads/Quorvel.app"));
    MainWindow window(*app);
    window.show();
    auto* card = window.moveCard();
    ASSERT_TRUE(card);
    EXPECT_EQ(visibleButtonTexts(*card), QStringList { "Move to Applications & Relaunch" });
    // Shown as written: a lone "&" would turn into a shortcut underline and vanish.
    EXPECT_EQ(card->findChild<QPushButton*>()->text(), "Move to Applications && Relaunch");
    QStringList labels;
    for (const auto* label : card->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains("One quick step before installing"));
    EXPECT_TRUE(labels.contains("Quorvel needs to be in your Applications folder so its screensaver stays installed."));

    card->findChild<QPushButton*>()->click();
    auto* alert = card->replacementAlert();
    ASSERT_TRUE(alert) << "a copy is already there";
    EXPECT_EQ(alert->windowTitle(), "Replace the copy in Applications?");
    EXPECT_EQ(alert->text(), "Quorvel is already in Applications. Replace it with this copy?");
    QStringList alertButtons;
    for (const auto* button : alert->buttons())
        alertButtons << button->accessibleName();
    EXPECT_TRUE(alertButtons.contains("Replace & Relaunch"));
    EXPECT_TRUE(alertButtons.contains("Cancel"));

    alert->button(QMessageBox::Cancel)->click();
    EXPECT_FALSE(app->appLocation().replacementConfirmationNeeded());
    EXPECT_TRUE(workspace.launched.isEmpty());

    // A failed move (the fake bundle has nothing to launch from) shows the message and the folder button.
    workspace.launchSucceeds = false;
    card->findChild<QPushButton*>()->click();
    ASSERT_TRUE(card->replacementAlert());
    for (auto* button : card->replacementAlert()->buttons())
        if (button->accessibleName() == "Replace & Relaunch")
            button->click();
    // The copy runs on while the card says so, and the window can paint it.
    bool movingShown = false;
    for (const auto* label : card->findChildren<QLabel*>())
        movingShown |= label->isVisibleTo(card) && label->text() == "Moving Quorvel…";
    EXPECT_TRUE(movingShown);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app->appLocation().isMoving(); }, 10000));
    EXPECT_EQ(workspace.launched.size(), 1);
    EXPECT_TRUE(visibleButtonTexts(*card).contains("Open Applications Folder"));
    bool messageShown = false;
    for (const auto* label : card->findChildren<QLabel*>())
        messageShown |= label->isVisibleTo(card) && label->text().startsWith("Quorvel couldn't move itself");
    EXPECT_TRUE(messageShown);
}

TEST_F(ShellWidgetsTest, WindowsOpenWithTheirTitlesSizesAndOnce)
{
    const auto app = makeApp({});
    quorvel::app::WidgetWindowHost host(*app);
    ASSERT_TRUE(app->windows().openWindow("library"));
    ASSERT_TRUE(app->windows().openWindow("library"));
    auto* library = qobject_cast<QWidget*>(app->windows().window("library"));
    ASSERT_TRUE(library);
    EXPECT_EQ(library->windowTitle(), "Your Wumbles");
    EXPECT_EQ(library->accessibleName(), "Your Wumbles");
    EXPECT_EQ(library->size(), QSize(780, 560));
    int libraries = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        libraries += widget->objectName() == "library" && widget->isVisible();
    EXPECT_EQ(libraries, 1);

    app->windows().dismissWindow("library");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(app->windows().isOpen("library"));
}

TEST_F(ShellWidgetsTest, EveryControlHasAnAccessibleName)
{
    QDir().mkpath(root.filePath("Downloads/Quorvel.app"));
    const auto app = makeApp(root.filePath("Downloads/Quorvel.app"));
    MainWindow window(*app);
    quorvel::app::UpdateWindow updates(app->updates());
    for (const QWidget* top : { static_cast<QWidget*>(&window), static_cast<QWidget*>(&updates) })
        for (const auto* control : top->findChildren<QAbstractButton*>())
            EXPECT_FALSE(control->accessibleName().isEmpty())
                << control->metaObject()->className() << " " << control->objectName().toStdString() << " "
                << control->text().toStdString();
}

} // namespace
