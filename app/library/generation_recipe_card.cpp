#include "app/library/generation_recipe_card.h"
#include "app/create/recipe_vocabulary.h"

namespace quorvel::library {

QString qualityText(bool lite, bool debug)
{
    return create::vocabulary::tier(lite).recipeCardText(debug);
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
