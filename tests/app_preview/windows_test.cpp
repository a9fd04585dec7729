// One offscreen rendering of each window, checked for its main controls and their wiring.
#include "app/library/upgrade_view.h"
#include "preview_fixture.h"

#include <QLabel>
#include <QPushButton>

namespace quorvel::testing {
namespace {

QStringList labelTexts(const QWidget& root)
{
    QStringList texts;
    for (const QLabel* label : root.findChildren<QLabel*>())
        if (label->isVisibleTo(&root) && !label->text().isEmpty())
            texts << label->text();
    return texts;
}

class WindowsTest : public ServiceTest {
protected:
    void SetUp() override { secrets.items.insert(apiTokenItem, "tok"); }
    RecordingWorkspace workspace;
};

TEST_F(WindowsTest, UpgradeWindowShowsBalancePlansAndOpensCheckout)
{
    server.serve("/balance", json(200, R"({"credits":1,"paid":false})"));
    library::UpgradeView view(new library::UpgradeModel(auth, workspace));
    view.resize(580, 560);
    EXPECT_FALSE(view.balanceText()->isVisibleTo(&view)) << "no line before a balance arrives";
    view.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.model().balanceLoaded(); }, 5000));
    EXPECT_EQ(server.requestsTo("/balance").size(), 1);

    const QStringList texts = labelTexts(*view.widget());
    for (const char* expected :
        { "More wumble. Still the good kind.", "Your free Lite generation is still unspent, and nothing expires it",
            "Main character of the feed", "Write the scene or roll the dice: 18 styles, 11 camera moves, 9 vibes",
            "$1.99", "/year", "BEST VALUE · SAVE $3.89",
            "Both plans: 8 wumble credits every month · Secure checkout via Stripe · Cancel anytime\n"
            "The community feed stays free forever, subscription or not." })
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;

    EXPECT_EQ(view.planButton(0)->text(), "Go monthly");
    EXPECT_EQ(view.planButton(1)->text(), "Go yearly");
    view.planButton(0)->click();
    ASSERT_EQ(workspace.opened.size(), 1);
    EXPECT_EQ(workspace.opened[0].path(), "/checkout/monthly");
    EXPECT_EQ(workspace.opened[0].query(), "client_reference_id=" + identity.identifier);

    const QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(580, 560) * shot.devicePixelRatio());
}

} // namespace
} // namespace quorvel::testing
