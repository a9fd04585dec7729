// The create screen's model against fault servers and against the reference service: what each
// answer of the pre-check and of the balance does to the screen, and that the window closes only
// after a generation really started.
#include "app/create/recipe_vocabulary.h"
#include "create_fixture.h"
#include "support/service_process.h"

#include <QCoroTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace quorvel::create {
namespace {

using namespace createTesting;

class CreateViewTest : public ::testing::Test {
protected:
    CreateViewTest()
    {
        server.serve("/enroll", json(200, R"({"token":"t"})"));
        server.serve("/generate", json(200, R"({"job":"j"})"));
        server.serve("/jobs/j", json(200, R"({"status":"running","log":"queued"})"));
        screen.view->setPrompt(QStringLiteral("  a lighthouse in fog\n"));
    }
    QList<QJsonObject> bodiesTo(const QString& path) const
    {
        QList<QJsonObject> bodies;
        for (const auto& request : server.requestsTo(path))
            bodies << QJsonDocument::fromJson(request.body).object();
        return bodies;
    }

    testing::LoopbackHttpServer server;
    Screen screen { server.url().toString() };
};

TEST_F(CreateViewTest, EachPreCheckOutcomeEndsInExactlyOneVisibleResult)
{
    const QByteArray approved = R"({"checked":true,"ok":true})";
    const QByteArray throttled = R"({"error":"rate_limited","retry_after":2})";
    struct Case {
        const char* name;
        QList<CannedReply> replies;
        bool starts;
        bool alert;
        std::optional<QString> error;
        std::vector<std::chrono::milliseconds> waits;
    };
    using std::chrono::milliseconds;
    const Case cases[] = {
        { "approved", { json(200, approved) }, true, false, {}, {} },
        { "refused", { json(200, R"({"checked":true,"ok":false})") }, false, true, {}, {} },
        { "unchecked", { json(200, R"({"checked":false})") }, true, false, {}, {} },
        { "service down", { json(503, "<html>busy</html>") }, true, false, {}, {} },
        { "garbage", { json(200, "{\"ok\":tru") }, true, false, {}, {} },
        { "throttled then approved", { json(429, throttled), json(200, approved) }, true, false, {},
            { milliseconds(2250) } },
        { "throttled twice", { json(429, throttled), json(429, R"({"retry_after":120})") }, false, false,
            createTexts::stillChecking, { milliseconds(2250) } },
        { "throttled then refused", { json(429, "{}"), json(200, R"({"checked":true,"ok":false})") }, false, true, {},
            { milliseconds(5250) } },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        testing::LoopbackHttpServer service;
        service.serve("/enroll", json(200, R"({"token":"t"})"));
        service.serve("/generate", json(200, R"({"job":"j"})"));
        service.serve("/jobs/j", json(200, R"({"status":"running","log":"queued"})"));
        for (const CannedReply& reply : test.replies)
            service.queue("/vet-prompt", reply);
        Screen local(service.url().toString());
        local.view->setPrompt(QStringLiteral("a lighthouse in fog"));

        ASSERT_TRUE(local.generate());
        EXPECT_EQ(local.generation->isRunning(), test.starts);
        EXPECT_EQ(local.closes, test.starts ? 1 : 0);
        EXPECT_EQ(local.view->promptRejected(), test.alert);
        EXPECT_EQ(local.view->userError(), test.error);
        EXPECT_EQ(local.sleeper.sleeps, test.waits);
        EXPECT_EQ(service.requestsTo("/vet-prompt").size(), test.replies.size());
        // Whatever happened, nothing typed is lost.
        EXPECT_EQ(local.view->prompt(), "a lighthouse in fog");
        local.generation->cancel();
    }
}

TEST_F(CreateViewTest, TheSubmissionCarriesTheRecipeUntrimmedAndNeverAnEmptyHandle)
{
    server.serve("/vet-prompt", json(200, R"({"checked":true,"ok":true})"));
    screen.view->setStyle("noir");
    screen.view->setMotion("slow pan");
    screen.view->setVibe("dreamy");
    screen.view->setLite(false);
    screen.view->setHandle(QString());
    ASSERT_TRUE(screen.generate());

    const QJsonObject vetted = bodiesTo("/vet-prompt").value(0);
    EXPECT_EQ(vetted["prompt"].toString(), "  a lighthouse in fog\n");
    EXPECT_EQ((QStringList { vetted["style"].toString(), vetted["motion"].toString(), vetted["vibe"].toString() }),
        (QStringList { "noir", "slow pan", "dreamy" }));
    const auto submission = screen.generation->submission();
    ASSERT_TRUE(submission);
    EXPECT_EQ(submission->handle, "tester");
    EXPECT_FALSE(submission->lite);
    EXPECT_EQ(submission->soundscape, "none");
    EXPECT_EQ(submission->userID, screen.identity.identifier);
    EXPECT_EQ(screen.closes, 1);
    screen.generation->cancel();
}

// A refused start keeps the window open with the store's reason, or the screen's own when the
// store gives none.
TEST_F(CreateViewTest, ARefusedStartKeepsTheWindowOpenWithItsReason)
{
    server.serve("/vet-prompt", json(200, R"({"checked":true,"ok":true})"));
    server.serve("/generate", CannedReply { 200, {}, {}, CannedReply::Mode::Stall });
    const QString tooLong(app::GenerationStore::longestPrompt + 1, QLatin1Char('x'));
    for (const auto& [prompt, error] : { std::pair { tooLong, app::texts::promptTooLong },
             std::pair { QStringLiteral("\t \n"), app::texts::describeWumble } }) {
        screen.view->setPrompt(prompt);
        ASSERT_TRUE(screen.generate());
        EXPECT_EQ(screen.view->userError(), error);
        EXPECT_EQ(screen.view->prompt(), prompt);
        EXPECT_EQ(screen.closes, 0);
    }

    // Already running.
    screen.view->setPrompt(QStringLiteral("a lighthouse"));
    ASSERT_TRUE(screen.generation->start({ "x", "noir", "drift", "calm", true, "none", "h", "u" }));
    EXPECT_EQ(screen.view->primaryButton().label, createTexts::generating);
    EXPECT_FALSE(screen.view->primaryButton().enabled);
    EXPECT_FALSE(screen.view->surpriseEnabled());
    ASSERT_TRUE(screen.generate());
    EXPECT_EQ(screen.view->userError(), app::texts::alreadyGenerating);
    EXPECT_EQ(screen.closes, 0);
    screen.generation->cancel();
}

TEST_F(CreateViewTest, CancelAndClosingDuringTheCheckStartNothing)
{
    server.serve(
        "/vet-prompt", CannedReply { 200, {}, R"({"checked":true,"ok":true})", CannedReply::Mode::Delayed, 150 });
    QCoro::Task<> running = screen.view->generate();
    ASSERT_TRUE(screen.view->checkingPrompt());
    EXPECT_EQ(screen.view->primaryButton().label, createTexts::cancel);
    EXPECT_TRUE(screen.view->primaryButton().isCancel);
    EXPECT_FALSE(screen.view->promptEditable());
    EXPECT_EQ(screen.view->creditLine(), createTexts::checkingPrompt);
    // A second generate while checking is ignored.
    testing::await(screen.view->generate());

    screen.view->activatePrimary(); // "Cancel"
    EXPECT_FALSE(screen.view->checkingPrompt());
    EXPECT_TRUE(screen.view->promptEditable());
    testing::await(std::move(running));
    EXPECT_FALSE(screen.view->userError());
    EXPECT_FALSE(screen.generation->isRunning());

    // Closing the window while the check is out.
    QCoro::Task<> abandoned = screen.view->generate();
    screen.view.reset();
    testing::await(std::move(abandoned));
    QTest::qWait(200);
    EXPECT_EQ(server.requestsTo("/vet-prompt").size(), 2);
    EXPECT_TRUE(server.requestsTo("/generate").isEmpty());
    EXPECT_EQ(screen.closes, 0);
}

// Holds every sleep until the test wakes it, so the test can act while the screen waits.
class HeldSleeper final : public platform::Sleeper {
public:
    QCoro::Task<bool> sleep(std::chrono::milliseconds duration) override
    {
        sleeps.push_back(duration);
        auto timer = std::make_shared<QTimer>();
        timer->setSingleShot(true);
        timer->start(std::chrono::hours(1));
        held_.push_back(timer);
        co_await qCoro(timer.get()).waitForTimeout();
        co_return true;
    }
    void schedule(std::chrono::milliseconds, QObject*, std::function<void()>) override { }
    void sleepBlocking(std::chrono::milliseconds) override { }
    qsizetype waiting() const { return held_.size(); }
    void wakeAll()
    {
        for (const auto& timer : held_)
            timer->start(0);
        held_.clear();
    }

    std::vector<std::chrono::milliseconds> sleeps;

private:
    std::vector<std::shared_ptr<QTimer>> held_;
};

// The throttle's wait may last half a minute: "Cancel" frees the screen at once, and neither a
// cancel nor a closed window lets the check go on when the wait ends.
TEST_F(CreateViewTest, CancelAndClosingDuringTheThrottleWaitEndTheCheck)
{
    server.serve("/vet-prompt", json(429, R"({"retry_after":20})"));
    HeldSleeper held;
    const auto open = [&] {
        screen.view
            = std::make_unique<CreateView>(CreateServices { *screen.auth, *screen.generation, screen.observedDefaults,
                screen.identity, held, screen.random, noDebugAccess, { [&] { ++screen.closes; }, {} } });
        screen.view->setPrompt(QStringLiteral("a lighthouse in fog"));
    };
    open();
    QCoro::Task<> cancelled = screen.view->generate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.waiting() == 1; }, 5000));
    EXPECT_EQ(held.sleeps.at(0), std::chrono::milliseconds(20250));
    EXPECT_EQ(screen.view->primaryButton().label, createTexts::cancel);
    screen.view->activatePrimary();
    EXPECT_FALSE(screen.view->checkingPrompt());
    EXPECT_TRUE(screen.view->promptEditable());
    EXPECT_EQ(screen.view->primaryButton().label, createTexts::generate);
    held.wakeAll();
    testing::await(std::move(cancelled));
    QTest::qWait(20);
    EXPECT_EQ(server.requestsTo("/vet-prompt").size(), 1) << "the cancelled check asked again";
    EXPECT_EQ(screen.view->userError(), std::nullopt);

    QCoro::Task<> abandoned = screen.view->generate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.waiting() == 1; }, 5000));
    screen.view.reset();
    held.wakeAll();
    testing::await(std::move(abandoned));
    QTest::qWait(20);
    EXPECT_EQ(server.requestsTo("/vet-prompt").size(), 2) << "the closed window's check asked again";
    EXPECT_TRUE(server.requestsTo("/generate").isEmpty());
    EXPECT_EQ(screen.closes, 0);
}

TEST_F(CreateViewTest, PrimaryButtonNeedsVisibleText)
{
    for (const auto& [prompt, enabled] :
        { std::pair { QStringLiteral(""), false }, std::pair { QStringLiteral(" \n\t \r\n"), false },
            std::pair { QStringLiteral("\u3000"), false }, std::pair { QStringLiteral(" a "), true },
            std::pair { QStringLiteral("\u05E9\u05DC\u05D5\u05DD"), true } }) {
        screen.view->setPrompt(prompt);
        EXPECT_EQ(screen.view->primaryButton().enabled, enabled) << prompt.toStdString();
        EXPECT_EQ(screen.view->primaryButton().label, createTexts::generate);
    }
    // The counter counts what the user sees: a flag and an accented letter are one character each.
    screen.view->setPrompt(QStringLiteral("e\u0301\U0001F1EB\U0001F1F7"));
    EXPECT_EQ(screen.view->promptLength(), 2);
    // It counts what is sent: an accepted prompt never reads over the bound.
    screen.view->setPrompt(
        QStringLiteral(" ") + QString(app::GenerationStore::longestPrompt, QLatin1Char('a')) + QStringLiteral("\n\n"));
    EXPECT_EQ(screen.view->promptLength(), app::GenerationStore::longestPrompt);
}

TEST_F(CreateViewTest, CreditLineAndOutOfCreditsCard)
{
    struct Case {
        QByteArray balance;
        bool debug;
        QString line;
        CreateView::CreditLine kind;
        bool card;
        QString body;
        QString button;
    };
    const QString refill
        = "Your 8 wumble credits refill monthly. The community feed keeps playing free while you wait.";
    const Case cases[] = {
        { R"({"credits":1})", false, "1 wumble credit available", CreateView::CreditLine::credits, false,
            createTexts::outOfCreditsFree, createTexts::seePlans },
        { R"({"credits":12,"paid":true})", false, "12 wumble credits available", CreateView::CreditLine::credits, false,
            refill, createTexts::upgradePlan },
        { R"({"credits":0})", false, "0 wumble credits available", CreateView::CreditLine::credits, true,
            createTexts::outOfCreditsFree, createTexts::seePlans },
        { R"({"credits":0,"paid":true,"resets":"soon"})", false, "0 wumble credits available",
            CreateView::CreditLine::credits, true, refill, createTexts::upgradePlan },
        { R"({"credits":0})", true, createTexts::debugCredits, CreateView::CreditLine::debug, false,
            createTexts::outOfCreditsFree, createTexts::seePlans },
        { R"({"credits":"many"})", false, createTexts::seePlans, CreateView::CreditLine::seePlans, false,
            createTexts::outOfCreditsFree, createTexts::seePlans },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.balance.toStdString());
        testing::LoopbackHttpServer service;
        service.serve("/enroll", json(200, R"({"token":"t"})"));
        service.serve("/balance", json(200, test.balance));
        Screen local(service.url().toString());
        local.view->setDebugMode(test.debug);
        testing::await(local.view->refreshBalance());
        EXPECT_EQ(local.view->creditLine(), test.line);
        EXPECT_EQ(local.view->creditLineKind(), test.kind);
        EXPECT_EQ(local.view->showsOutOfCredits(), test.card);
        EXPECT_EQ(local.view->outOfCreditsBody(), test.body);
        EXPECT_EQ(local.view->outOfCreditsButton(), test.button);
    }
}

// A later failed or unreadable balance keeps what the screen showed; a failure text goes to the
// banner, which "Retry" clears before reading again.
TEST_F(CreateViewTest, BalanceFailuresShowTheBannerAndKeepTheLastBalance)
{
    server.queue("/balance", json(200, R"({"credits":3,"paid":true,"resets":"2026-01-31"})"));
    server.queue("/balance", json(500, R"({"credits":9})"));
    server.queue("/balance", json(200, "[1]"));
    server.queue("/balance", json(426, R"({"error":"update_required"})"));
    server.serve("/balance", json(200, R"({"credits":4})"));
    for (int read = 0; read < 3; ++read)
        testing::await(screen.view->refreshBalance());
    EXPECT_EQ(screen.view->credits(), 3);
    EXPECT_TRUE(screen.view->paid());
    EXPECT_EQ(screen.view->resets(), "2026-01-31");

    testing::await(screen.view->refreshBalance());
    EXPECT_EQ(screen.view->enrollmentError(), app::texts::updateRequired);
    EXPECT_EQ(screen.view->credits(), 3);
    testing::await(screen.view->retry());
    EXPECT_EQ(screen.view->enrollmentError(), std::nullopt);
    EXPECT_EQ(screen.view->credits(), 4);
}

TEST(RefillLine, OneCalendarMonthAfterTheResetAsMonthAndDay)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    for (const auto& [resets, refill] : { std::pair { "2026-01-31", "refill on February 28" },
             std::pair { "2028-01-31", "refill on February 29" }, std::pair { "2026-12-15", "refill on January 15" },
             std::pair { "2026-02-30", "refill monthly" }, std::pair { "15.01.2026", "refill monthly" } }) {
        EXPECT_EQ(refillLine(QString::fromLatin1(resets), us),
            QStringLiteral("Your 8 wumble credits %1. The community feed keeps playing free while you wait.")
                .arg(refill));
    }
    EXPECT_EQ(refillLine(std::nullopt, us),
        "Your 8 wumble credits refill monthly. The community feed keeps playing free while you wait.");
}

TEST(RefillLine, MonthAndDayInTheReadersLanguageWithItsParticlesAndNoYear)
{
    // What ICU's pattern for the "MMMMd" skeleton gives for each locale.
    const struct {
        const char* locale;
        const char* expected;
    } rows[] = {
        { "en_US", "March 5" }, { "es_ES", "5 de marzo" }, { "pt_BR", "5 de março" }, { "ru_RU", "5 марта" },
        { "ko_KR", "3월 5일" }, { "de_DE", "5. März" }, { "ja_JP", "3月5日" }, { "fr_FR", "5 mars" },
        { "nl_NL", "5 maart" }, { "th_TH", "5 มีนาคม" }, // Gregorian, as the service counts, not the Buddhist calendar
    };
    for (const auto& row : rows)
        EXPECT_EQ(
            monthAndDay(QDate(2026, 3, 5), QLocale(QString::fromLatin1(row.locale))), QString::fromUtf8(row.expected))
            << row.locale;
    EXPECT_EQ(refillLine(QStringLiteral("2026-02-05"), QLocale(QStringLiteral("es_ES"))),
        "Your 8 wumble credits refill on 5 de marzo. The community feed keeps playing free while you wait.");
}

TEST_F(CreateViewTest, RandomizeDrawsEveryListAndKeepsTierAndHandle)
{
    screen.view->setLite(false);
    screen.view->setHandle("@me");
    server.queue("/vet-prompt", json(429, R"({"retry_after":1})"));
    server.queue("/vet-prompt", json(429, R"({"retry_after":1})"));
    ASSERT_TRUE(screen.generate());
    ASSERT_TRUE(screen.view->userError());

    screen.random.next = { 16, 3, 8, 22 };
    screen.view->randomizeEverything();
    EXPECT_EQ((QStringList { screen.view->style(), screen.view->motion(), screen.view->vibe(), screen.view->prompt() }),
        (QStringList { "stainedglass", "push-in", "playful", vocabulary::samplePrompts().at(22) }));
    EXPECT_FALSE(screen.view->userError());
    EXPECT_FALSE(screen.view->lite());
    EXPECT_EQ(screen.view->handle(), "@me");
}

TEST_F(CreateViewTest, AppearingFillsTheHandleAndDrawsARecipeOnlyForAnEmptyPrompt)
{
    server.serve("/balance", json(200, R"({"credits":2})"));
    screen.view->setPrompt(QString());
    screen.random.next = { 5, 6, 7, 8 };
    testing::await(screen.view->appear());
    EXPECT_EQ(screen.view->handle(), "tester");
    EXPECT_EQ(screen.view->style(), "clay");
    EXPECT_EQ(screen.view->prompt(), vocabulary::samplePrompts().at(8));
    EXPECT_EQ(screen.view->credits(), 2);

    screen.view->setHandle("@kept");
    screen.view->setPrompt("mine");
    screen.random.next = { 1, 1, 1, 1 };
    testing::await(screen.view->appear());
    EXPECT_EQ(screen.view->handle(), "@kept");
    EXPECT_EQ(screen.view->prompt(), "mine");
    EXPECT_EQ(screen.view->style(), "clay");
}

TEST_F(CreateViewTest, UpgradeOpensFromTheLinkAndTheCard)
{
    screen.view->openUpgrade();
    EXPECT_EQ(screen.upgrades, 1);
    EXPECT_EQ(screen.view->creditLine(), createTexts::seePlans);
}

// The reference service: a refused word, an approved prompt that becomes a job, no credits, and
// a build too old for the service.
class AgainstTheService : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(QUORVEL_BIN_DIR "/quorvel-service")) << "the reference service is not built";
    }
    testing::ServiceProcess service;
};

TEST_F(AgainstTheService, RefusedThenApprovedStartsAJobAndClosesTheWindow)
{
    ASSERT_TRUE(service.start()) << service.errorText().toStdString();
    Screen screen(service.baseUrl());
    testing::await(screen.view->appear());
    ASSERT_TRUE(screen.view->credits()) << screen.view->enrollmentError().value_or("").toStdString();
    EXPECT_FALSE(screen.view->showsOutOfCredits());

    screen.view->setPrompt("a bloody sunset over the harbor");
    ASSERT_TRUE(screen.generate());
    EXPECT_TRUE(screen.view->promptRejected());
    EXPECT_EQ(screen.closes, 0);
    EXPECT_EQ(screen.view->prompt(), "a bloody sunset over the harbor");
    screen.view->dismissRejection();

    screen.view->setPrompt("a red sunset over the harbor");
    ASSERT_TRUE(screen.generate());
    EXPECT_FALSE(screen.view->promptRejected());
    EXPECT_TRUE(screen.generation->isRunning());
    EXPECT_EQ(screen.closes, 1);
    screen.generation->cancel();
}

// The service refuses old builds only at the job itself, after the window has closed: the run
// ends with the update text the app shows where progress is followed.
TEST_F(AgainstTheService, AnOldBuildEndsTheRunWithTheUpdateText)
{
    ASSERT_TRUE(service.start({ "--instant", "--min-build", "100" })) << service.errorText().toStdString();
    Screen screen(service.baseUrl(), QStringLiteral("42"));
    testing::await(screen.view->appear());
    screen.view->setPrompt("a quiet harbor");
    ASSERT_TRUE(screen.generate());
    EXPECT_EQ(screen.closes, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !screen.generation->isRunning(); }, 10000));
    EXPECT_EQ(screen.generation->error(), app::texts::updateRequired);
}

} // namespace
} // namespace quorvel::create
