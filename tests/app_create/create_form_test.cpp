// The create form rendered offscreen: its controls are there, named for assistive technology and
// reachable by keyboard; thumbnails that never come leave the tiles usable; edits reach the model.
#include "app/create/camera_motion_preview.h"
#include "app/create/create_form.h"
#include "app/create/recipe_vocabulary.h"
#include "create_fixture.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <set>

namespace quorvel::create {
namespace {

using namespace createTesting;

QByteArray png(QColor colour)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class CreateFormTest : public ::testing::Test {
protected:
    CreateFormTest()
    {
        server.serve("/enroll", json(200, R"({"token":"t"})"));
        server.serve("/balance", json(200, R"({"credits":1})"));
        cdn.serve("/styles/noir.png", CannedReply { 200, { { "Content-Type", "image/png" } }, png(Qt::darkGray) });
        // One thumbnail answers never; it must hold up nothing.
        cdn.serve("/styles/anime.png", CannedReply { 200, {}, {}, CannedReply::Mode::Stall });
        screen.random.next = { 10, 3, 5, 0 };
        form = std::make_unique<CreateForm>(
            screen.view.release(), session, cdn.url("/").toString(), screen.clock, screen.desktop);
        form->resize(560, 640);
    }
    template <typename T> T* child(const char* name) const { return form->findChild<T*>(QString::fromLatin1(name)); }

    testing::LoopbackHttpServer server;
    testing::LoopbackHttpServer cdn;
    Screen screen { server.url().toString() };
    QNetworkAccessManager session;
    std::unique_ptr<CreateForm> form;
};

TEST_F(CreateFormTest, RendersItsControlsNamedAndInKeyboardOrder)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->view().credits().has_value(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->hasThumbnail("noir"); }, 5000));

    // The first appearance drew a recipe, shown in every control.
    auto* prompt = child<QPlainTextEdit>("prompt");
    ASSERT_TRUE(prompt);
    EXPECT_EQ(prompt->toPlainText(), vocabulary::samplePrompts().at(0));
    EXPECT_EQ(prompt->placeholderText(), createTexts::promptPlaceholder);
    auto* motion = child<QComboBox>("motion");
    auto* vibe = child<QComboBox>("vibe");
    ASSERT_TRUE(motion && vibe);
    EXPECT_EQ(motion->count(), vocabulary::motionCount);
    EXPECT_EQ(vibe->count(), vocabulary::vibeCount);
    EXPECT_EQ(motion->currentText(), "push-in");
    EXPECT_EQ(vibe->currentText(), "dreamy");
    EXPECT_EQ(child<CameraMotionPreview>("motionPreview")->motion(), "push-in");
    EXPECT_TRUE(form->styleTile("noir")->isChecked());
    EXPECT_EQ(child<QLabel>("creditLine")->text(), "1 wumble credit available");
    auto* primary = child<QPushButton>("primary");
    EXPECT_EQ(primary->text(), createTexts::generate);
    EXPECT_TRUE(primary->isEnabled());
    EXPECT_EQ(child<QPushButton>("tierLite")->accessibleName(), "Lite tier, 1 wumble credit");
    EXPECT_TRUE(child<QPushButton>("tierLite")->isChecked());

    // Every tile is there and named; the stalled and the missing thumbnails left their keys.
    for (const QString& key : vocabulary::styles()) {
        QToolButton* tile = form->styleTile(key);
        ASSERT_TRUE(tile) << key.toStdString();
        EXPECT_EQ(tile->accessibleName(), key + " style");
        EXPECT_EQ(tile->text(), key);
        EXPECT_EQ(form->hasThumbnail(key), key == "noir");
    }

    // Keyboard order: handle, prompt, "Surprise me", the selected style (arrows move the selection
    // within the grid, as within any exclusive group), the pickers, the selected tier.
    QList<QWidget*> order { child<QWidget>("handle"), prompt, child<QWidget>("surpriseMe"), form->styleTile("noir"),
        motion, vibe, child<QWidget>("tierLite"), primary };
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    order.first()->setFocus(Qt::TabFocusReason);
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCoreApplication::processEvents();
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << order[i]->objectName().toStdString();
        if (order[i] == form->styleTile("noir")) {
            QTest::keyClick(order[i], Qt::Key_Right);
            EXPECT_EQ(form->view().style(), "vaporwave");
            EXPECT_EQ(QApplication::focusWidget(), form->styleTile("vaporwave"));
        }
    }
    for (QWidget* control : order)
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
}

// The grid takes as many columns of cells at least 76 wide as the window holds, at any width.
TEST_F(CreateFormTest, TheStyleGridAdaptsItsColumnsToTheWidth)
{
    form->show();
    QWidget* grid = child<QWidget>("styleGrid");
    ASSERT_TRUE(grid);
    for (const int width : { 560, 900, 1400 }) {
        SCOPED_TRACE(width);
        form->resize(width, 640);
        QCoreApplication::processEvents();
        std::set<int> columns;
        QList<QRect> placed;
        for (const QString& key : vocabulary::styles()) {
            const QRect tile = form->styleTile(key)->geometry();
            EXPECT_GE(tile.width(), CreateForm::tileSize);
            EXPECT_TRUE(grid->rect().contains(tile)) << key.toStdString() << " sticks out of the grid";
            for (const QRect& other : placed)
                EXPECT_FALSE(other.intersects(tile)) << key.toStdString() << " covers another tile";
            columns.insert(tile.x());
            placed << tile;
        }
        const int expected = CreateForm::styleGridColumns(grid->width());
        EXPECT_EQ(int(columns.size()), expected);
        EXPECT_GT(CreateForm::tileSize * (expected + 1) + CreateForm::tileSpacing * expected, grid->width())
            << "room for another column was left empty";
    }
    EXPECT_EQ(CreateForm::styleGridColumns(40), 1);
}

// Command-Return (either Return key) generates; Escape cancels only while the prompt is checked.
TEST_F(CreateFormTest, TheKeyboardShortcutsGenerateAndCancel)
{
    server.serve(
        "/vet-prompt", CannedReply { 200, {}, R"({"checked":true,"ok":false})", CannedReply::Mode::Delayed, 300 });
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->view().checkingPrompt()) << "Escape started something";
    for (const Qt::Key key : { Qt::Key_Return, Qt::Key_Enter }) {
        SCOPED_TRACE(int(key));
        QTest::keyClick(form.get(), key, Qt::ControlModifier);
        EXPECT_TRUE(form->view().checkingPrompt()) << "the shortcut did not generate";
        QTest::keyClick(form.get(), key, Qt::ControlModifier);
        QTest::keyClick(form.get(), Qt::Key_Escape);
        EXPECT_FALSE(form->view().checkingPrompt()) << "Escape did not cancel";
    }
    QTest::qWait(400);
    EXPECT_EQ(server.requestsTo("/vet-prompt").size(), 2) << "one check per generate, none while checking";
    EXPECT_FALSE(form->view().promptRejected()) << "a cancelled check still acted on its answer";
}

TEST_F(CreateFormTest, EditsReachTheModelAsTyped)
{
    form->show();
    auto* prompt = child<QPlainTextEdit>("prompt");
    // Right-to-left text and a pasted control character stay exactly as entered.
    const QString typed = QStringLiteral("\u05D2\u05DC \u200F wave\u0007 ");
    prompt->setPlainText(typed);
    EXPECT_EQ(form->view().prompt(), typed);
    EXPECT_EQ(child<QLabel>("promptCounter")->text(), "10 / 2000") << "the space at the end is not sent";

    prompt->setPlainText(" \n ");
    EXPECT_FALSE(child<QPushButton>("primary")->isEnabled());

    form->styleTile("clay")->click();
    EXPECT_EQ(form->view().style(), "clay");
    EXPECT_FALSE(form->styleTile("noir")->isChecked());
    child<QPushButton>("tierStandard")->click();
    EXPECT_FALSE(form->view().lite());
    child<QComboBox>("vibe")->textActivated("epic");
    EXPECT_EQ(form->view().vibe(), "epic");

    child<QPushButton>("surpriseMe")->click();
    EXPECT_EQ(prompt->toPlainText(), form->view().prompt());
    EXPECT_TRUE(vocabulary::samplePrompts().contains(prompt->toPlainText()));
}

} // namespace
} // namespace quorvel::create
