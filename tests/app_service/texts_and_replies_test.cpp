// The exact words users read, pinned here once, and the small reply readers.
#include "app/service/auth_store.h"
#include "app/service/balance_reply.h"
#include "app/service/generation_store.h"
#include "support/environment_guard.h"

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

namespace texts = app::texts;

TEST(UserFacingTexts, AreExactlyAsWritten)
{
    // Ellipsis characters, middle dots and plain hyphens are distinct from their look-alikes.
    const std::pair<QString, const char*> rows[] = {
        { texts::cannotReach, "Couldn't reach Quorvel. Please try again." },
        { texts::cannotEnroll, "Couldn't set up this Mac with Quorvel. Check your connection and try again." },
        { texts::cannotSaveCredentials, "Quorvel couldn't securely save its credentials. Please try again." },
        { texts::cannotVerify, "Quorvel couldn't verify this Mac. Please try again in a moment." },
        { texts::updateRequired,
            "A required Quorvel update is available. Please update to keep creating - an older "
            "version can't be used after this security update." },
        { texts::alreadyGenerating, "A wumble is already generating." },
        { texts::describeWumble, "Describe the wumble you want to create." },
        { texts::promptTooLong, "Keep the description under 2000 characters." },
        { texts::lostContact, "Lost contact with Quorvel. Please try again." },
        { texts::timedOut, "Generation timed out after 15 minutes. Please try again." },
        { texts::notAllAges, "This prompt isn't appropriate for the all-ages community. Please rewrite it." },
        { texts::generationFailedRetry, "Generation failed. Please try again." },
        { texts::titleNotSaved, "Couldn't save the title." },
        { texts::notPublished, "Couldn't add this wumble to the community." },
        { texts::stageSending, "Sending your recipe\u2026" },
        { texts::stageChecking, "Checking your prompt\u2026" },
        { texts::stageReady, "Your wumble is ready" },
        { texts::stageStopped, "Generation stopped" },
        { texts::stageFailed, "Generation failed" },
        { app::GenerationStore::stageText("animating..."), "Animating your wumble\u2026" },
        { app::GenerationStore::stageText("keyframe:"), "Keyframe ready \u00b7 starting animation\u2026" },
        { app::GenerationStore::stageText("keyframe..."), "Creating the keyframe\u2026" },
        { app::GenerationStore::stageText("vetting:"), "Prompt approved \u00b7 composing the scene\u2026" },
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(text, QString::fromUtf8(expected));
}

TEST(BalanceReply, FieldsOfTheWrongTypeTakeTheirDefaults)
{
    using app::AuthorizedResult;
    using app::BalanceReply;
    struct Row {
        const char* name;
        AuthorizedResult result;
        std::optional<BalanceReply> expected;
    } rows[] = {
        { "full", AuthorizedResult::response(200, R"({"credits":8,"paid":true,"resets":"2026-11-30"})"),
            BalanceReply { 8, true, QStringLiteral("2026-11-30") } },
        { "credits sent as a float", AuthorizedResult::response(200, R"({"credits":3.0})"),
            BalanceReply { 3, false, {} } },
        { "wrong types", AuthorizedResult::response(200, R"({"credits":"8","paid":1,"resets":20261130})"),
            BalanceReply { std::nullopt, false, std::nullopt } },
        { "fractional credits", AuthorizedResult::response(200, R"({"credits":2.5,"paid":false})"),
            BalanceReply { std::nullopt, false, std::nullopt } },
        { "negative credits stay", AuthorizedResult::response(200, R"({"credits":-1})"),
            BalanceReply { -1, false, {} } },
        { "not 200", AuthorizedResult::response(500, R"({"credits":8})"), std::nullopt },
        { "not an object", AuthorizedResult::response(200, "[8]"), std::nullopt },
        { "failure", AuthorizedResult::failure(texts::cannotReach), std::nullopt },
    };
    for (const Row& row : rows)
        EXPECT_EQ(app::readBalance(row.result), row.expected) << row.name;
}

TEST(ServiceConfig, TheEnvironmentPointsTheClientElsewhere)
{
    const quorvel::testing::EnvironmentGuard guard("QUORVEL_SERVICE_URL");
    qputenv("QUORVEL_SERVICE_URL", "http://127.0.0.1:4321/");
    const app::ServiceConfig config = app::ServiceConfig::fromPlatform();
    EXPECT_EQ(config.baseUrl, "http://127.0.0.1:4321");
    EXPECT_EQ(config.requestTimeout, std::chrono::seconds(60));
    EXPECT_EQ(config.shortTimeout, std::chrono::seconds(15));
    EXPECT_EQ(config.pollTimeout, std::chrono::seconds(60));
}

} // namespace
} // namespace quorvel::testing
