// The exact words users read, pinned once: a look-alike character (an ellipsis written as three
// full stops, a hyphen for a dash) would pass every test that compares against the same constant.
#include "app/client/auth_store.h"
#include "app/client/generation_store.h"

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

} // namespace
} // namespace quorvel::testing
