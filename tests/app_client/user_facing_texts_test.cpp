// The exact words users read. Other tests check which of these a store publishes in each case by
// comparing against the shared constants; those would pass with a look-alike character (three full
// stops for an ellipsis, a hyphen for a dash) in a constant itself, which this table catches.
#include "fixture.h"

namespace quorvel::testing {
namespace {

TEST(UserFacingTexts, EachConstantReadsExactlyAsWritten)
{
    const std::pair<const QString&, const char*> rows[] = {
        { texts::cannotReach, "Couldn't reach Quorvel. Please try again." },
        { texts::cannotEnroll, "Couldn't set up this Mac with Quorvel. Check your connection and try again." },
        { texts::cannotSaveCredentials, "Quorvel couldn't securely save its credentials. Please try again." },
        { texts::cannotVerify, "Quorvel couldn't verify this Mac. Please try again in a moment." },
        { texts::updateRequired,
            "A required Quorvel update is available. Please update to keep creating - an older version can't be used "
            "after this security update." },
        { texts::alreadyGenerating, "A wumble is already generating." },
        { texts::describeWumble, "Describe the wumble you want to create." },
        { texts::promptTooLong, "Keep the description under 2000 characters." },
        { texts::promptTooLarge, "This description is too long to send. Use fewer accents and emoji." },
        { texts::lostContact, "Lost contact with Quorvel. Please try again." },
        { texts::notAllAges, "This prompt isn't appropriate for the all-ages community. Please rewrite it." },
        { texts::generationFailedRetry, "Generation failed. Please try again." },
        { texts::titleNotSaved, "Couldn't save the title." },
        { texts::notPublished, "Couldn't add this wumble to the community." },
        { texts::stageSending, "Sending your recipe…" },
        { texts::stageReady, "Your wumble is ready" },
        { texts::stageStopped, "Generation stopped" },
        { texts::stageFailed, "Generation failed" },
    };
    for (const auto& [constant, text] : rows)
        EXPECT_EQ(constant, QString::fromUtf8(text));
}

} // namespace
} // namespace quorvel::testing
