// The recipe card's texts for every tier and mode, and its widget's plain, selectable, wrapped prompt.
#include "app/library/generation_recipe_card.h"
#include "app/library/generation_recipe_view.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

using library::RecipeCell;

app::GenerationSubmission submission(bool lite, bool debug, QString soundscape = QStringLiteral("none"))
{
    return { "a sleeping fox curled inside a giant blooming peony", "ukiyoe", "sideways track", "mysterious", lite,
        std::move(soundscape), "@vixen", "3F2504E0-4F89-11D3-9A0C-0305E82C3301", debug };
}

TEST(RecipeCard, ShowsKeysVerbatimInTheirOrderAndAlwaysReadsSilent)
{
    for (const QString& soundscape : { QStringLiteral("none"), QStringLiteral("rain"), QString() }) {
        SCOPED_TRACE(soundscape.toStdString());
        const library::RecipeCard card = library::recipeCard(submission(true, false, soundscape));
        EXPECT_EQ(card.prompt, "a sleeping fox curled inside a giant blooming peony");
        const std::array<RecipeCell, 3> choices { RecipeCell { "Style", "ukiyoe" },
            RecipeCell { "Motion", "sideways track" }, RecipeCell { "Vibe", "mysterious" } };
        EXPECT_EQ(card.choices, choices);
        EXPECT_EQ(card.details[1], (RecipeCell { "Sound", "Silent" }));
        EXPECT_EQ(card.details[2], (RecipeCell { "By", "@vixen" }));
    }
}

TEST(RecipeCardWidget, ShowsRemoteTextsAsPlainTextAndTheLongPromptWrapsSelectably)
{
    library::GenerationRecipeView view;
    app::GenerationSubmission markup = submission(false, true);
    markup.prompt = QStringLiteral("<b>bold</b> ") + QStringLiteral("lanterns over a harbor ").repeated(30)
        + QStringLiteral("¡ok! 🦊");
    markup.handle = QStringLiteral("<i>@me</i>");
    view.setSubmission(markup);
    view.resize(360, 400);
    view.show();

    QLabel* prompt = view.promptLabel();
    EXPECT_EQ(prompt->text(), markup.prompt);
    EXPECT_EQ(prompt->textFormat(), Qt::PlainText);
    EXPECT_TRUE(prompt->wordWrap());
    EXPECT_TRUE(prompt->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_LE(prompt->width(), view.width()) << "a long prompt must wrap inside the card";
    EXPECT_GT(prompt->height(), 3 * prompt->fontMetrics().height()) << "it wraps onto several lines";

    const QStringList captions { "Style", "Motion", "Vibe", "Quality", "Sound", "By" };
    const QStringList values { "ukiyoe", "sideways track", "mysterious", "Standard · Debug", "Silent", "<i>@me</i>" };
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(view.captionLabel(i)->text(), captions[i]);
        EXPECT_EQ(view.valueLabel(i)->text(), values[i]);
        EXPECT_EQ(view.valueLabel(i)->textFormat(), Qt::PlainText);
    }
    view.setSubmission(std::nullopt);
    EXPECT_TRUE(prompt->text().isEmpty());
}

} // namespace
} // namespace quorvel::testing
