#include "app/library/generation_recipe_card.h"

namespace quorvel::library {

QString qualityText(bool lite, bool debug)
{
    const QString tier = lite ? QStringLiteral("Lite") : QStringLiteral("Standard");
    if (debug)
        return tier + QStringLiteral(" · Debug");
    return tier + (lite ? QStringLiteral(" · 1 wumble credit") : QStringLiteral(" · 5 wumble credits"));
}

RecipeCard recipeCard(const app::GenerationSubmission& submission)
{
    return RecipeCard {
        submission.prompt,
        { RecipeCell { recipeTexts::style, submission.style }, RecipeCell { recipeTexts::motion, submission.motion },
            RecipeCell { recipeTexts::vibe, submission.vibe } },
        { RecipeCell { recipeTexts::quality, qualityText(submission.lite, submission.debug) },
            RecipeCell { recipeTexts::sound, recipeTexts::silent }, RecipeCell { recipeTexts::by, submission.handle } },
    };
}

} // namespace quorvel::library
