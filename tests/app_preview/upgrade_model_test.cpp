// The plans window's model over loopback fault servers: the balance line for every reply, what a
// failed read leaves, and the checkout address handed to the browser.
#include "app/library/upgrade_model.h"
#include "preview_fixture.h"

namespace quorvel::testing {
namespace {

using library::SymbolLine;

class UpgradeTest : public ServiceTest {
protected:
    void SetUp() override { server.serve("/enroll", json(200, tokenReply("tok"))); }
    std::optional<SymbolLine> lineFor(const Reply& reply)
    {
        library::UpgradeModel model(auth, workspace);
        server.serve("/balance", reply);
        await(model.loadBalance());
        return model.balanceLine();
    }
    RecordingWorkspace workspace;
};

TEST_F(UpgradeTest, BalanceLineFollowsCreditsAndPlan)
{
    const SymbolLine outPaid { "Out of credits this month. The feed keeps playing anyway, free forever", "heart" };
    const SymbolLine outFree { "Fresh out of wumble credits. The feed keeps playing anyway, free forever", "heart" };
    const SymbolLine unspent { "Your free Lite generation is still unspent, and nothing expires it", "bolt.circle" };
    struct Row {
        const char* name;
        QByteArray body;
        SymbolLine line;
    };
    // Mistyped fields are read once for every screen (readBalance); these rows are what this line makes of them.
    const Row rows[] = {
        { "one paid credit is singular", R"({"credits":1,"paid":true})", { "1 wumble credit loaded", "bolt.circle" } },
        { "a full month", R"({"credits":8,"paid":true,"resets":"2026-12-01"})",
            { "8 wumble credits loaded", "bolt.circle" } },
        { "the free credit", R"({"credits":1,"paid":false})", unspent },
        { "paid missing counts as free", R"({"credits":3})", unspent },
        { "no credits field on a plan", R"({"paid":true})", outPaid },
        { "zero on a plan", R"({"credits":0,"paid":true})", outPaid },
        { "a negative balance", R"({"credits":-2,"paid":true})", outPaid },
        { "zero and free", R"({"credits":0,"paid":false})", outFree },
        { "an empty object", R"({})", outFree },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(lineFor(json(200, row.body)), row.line);
    }
    const QString user = server.requestsTo("/balance").last().path.section('=', 1);
    EXPECT_EQ(user, identity.identifier);
}

TEST_F(UpgradeTest, AnUnusableOrFailedReadShowsNoLineAndKeepsTheOneShown)
{
    struct Row {
        const char* name;
        Reply reply;
        bool logged;
    };
    const Row rows[] = {
        { "server error", json(500, R"({"credits":8,"paid":true})"), false },
        { "not JSON", json(200, "credits=8"), false },
        { "a JSON array", json(200, "[8,true]"), false },
        { "cut off mid body", cut(R"({"credits":8,"paid":true,"resets":"2026-12-01"})"), true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        library::UpgradeModel model(auth, workspace);
        server.serve("/balance", row.reply);
        await(model.loadBalance());
        EXPECT_FALSE(model.balanceLoaded());
        EXPECT_EQ(model.balanceLine(), std::nullopt);
        EXPECT_EQ(log.contains(QStringLiteral("Upgrade balance read failed: ") + texts::cannotReach), row.logged);

        server.serve("/balance", json(200, R"({"credits":1,"paid":true})"));
        await(model.loadBalance());
        server.serve("/balance", row.reply);
        await(model.loadBalance());
        EXPECT_EQ(model.balanceLine()->text, "1 wumble credit loaded") << "a later bad read changes nothing";
    }

    LogCapture log;
    secrets.items.clear();
    server.serve("/enroll", json(503, "{}"));
    library::UpgradeModel model(auth, workspace);
    await(model.loadBalance());
    EXPECT_FALSE(model.balanceLoaded());
    EXPECT_TRUE(log.contains(QStringLiteral("Upgrade balance read failed: ") + texts::cannotEnroll));
}

TEST_F(UpgradeTest, AnOlderReadThatAnswersLastDoesNotOverwriteTheNewerBalance)
{
    secrets.items.insert(apiTokenItem, "tok");
    library::UpgradeModel model(auth, workspace);
    server.queue("/balance", Reply { 200, {}, R"({"credits":1,"paid":false})", Reply::Mode::Delayed, 150 });
    server.serve("/balance", json(200, R"({"credits":8,"paid":true})"));
    QCoro::Task<> before = model.loadBalance();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestsTo("/balance").size() == 1; }, 5000));
    await(model.loadBalance());
    EXPECT_EQ(model.balanceLine()->text, "8 wumble credits loaded");
    await(std::move(before));
    EXPECT_EQ(model.balanceLine()->text, "8 wumble credits loaded") << "the stale free balance came back last";
}

TEST(CheckoutAddress, NamesTheMachineOnThePlanPage)
{
    struct Row {
        const char* name;
        QString page;
        QString machine;
        std::optional<QString> address;
    };
    const QString uuid = QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    const Row rows[] = {
        { "a machine identifier is appended unchanged", "http://127.0.0.1:8443/checkout/monthly", uuid,
            "http://127.0.0.1:8443/checkout/monthly?client_reference_id=" + uuid },
        { "the fallback identifier", "https://pay.example/b/yearly", "unknown",
            "https://pay.example/b/yearly?client_reference_id=unknown" },
        { "a page with a query of its own keeps it and joins it", "https://pay.example/b/p?locale=en&prefill=1", uuid,
            "https://pay.example/b/p?locale=en&prefill=1&client_reference_id=" + uuid },
        { "the reference goes before a fragment", "https://pay.example/b/p#plans", uuid,
            "https://pay.example/b/p?client_reference_id=" + uuid + "#plans" },
        { "an identifier cannot add parameters", "https://pay.example/b/p", "a b&amount=0",
            "https://pay.example/b/p?client_reference_id=a%20b%26amount%3D0" },
        { "a page that does not parse", "https://pay example/b p", uuid, std::nullopt },
        { "no page at all", "", uuid, std::nullopt },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<QUrl> url = library::checkoutAddress(row.page, row.machine);
        ASSERT_EQ(url.has_value(), row.address.has_value());
        if (url) {
            EXPECT_EQ(url->toString(QUrl::FullyEncoded), *row.address);
        }
    }
}

TEST_F(UpgradeTest, PlansOpenTheirServicePagesInTheBrowser)
{
    library::UpgradeModel model(auth, workspace);
    const auto& plans = model.plans();
    EXPECT_EQ(plans[0].name, "Monthly");
    EXPECT_EQ(plans[0].button, "Go monthly");
    EXPECT_EQ(plans[0].badge, std::nullopt);
    EXPECT_EQ(plans[1].badge, "BEST VALUE · SAVE $3.89");
    EXPECT_EQ(plans[1].note, "$1.67/mo, billed yearly");

    EXPECT_TRUE(model.openCheckout(plans[1].checkoutPage));
    ASSERT_EQ(workspace.opened.size(), 1);
    EXPECT_EQ(workspace.opened[0].toString(),
        server.url("/checkout/yearly?client_reference_id=" + identity.identifier).toString());

    EXPECT_FALSE(model.openCheckout(QStringLiteral("https://pay example/")));
    EXPECT_EQ(workspace.opened.size(), 1) << "an address that does not parse is not opened";
    workspace.opens = false;
    EXPECT_FALSE(model.openCheckout(plans[0].checkoutPage)) << "the workspace's refusal is reported";
}

} // namespace
} // namespace quorvel::testing
