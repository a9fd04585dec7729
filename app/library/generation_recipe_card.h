#pragma once
// What the recipe card says about one submission, without its widgets: the prompt and six facts
// in two rows of three, each a label above a value.

#include "app/client/generation_submission.h"

#include <QString>

#include <array>

namespace quorvel::library {

namespace recipeTexts {
inline const QString style = QStringLiteral("Style");
inline const QString motion = QStringLiteral("Motion");
inline const QString vibe = QStringLiteral("Vibe");
inline const QString quality = QStringLiteral("Quality");
inline const QString sound = QStringLiteral("Sound");
inline const QString by = QStringLiteral("By");
// The card never reports a soundscape: every accepted recipe is silent.
inline const QString silent = QStringLiteral("Silent");
} // namespace recipeTexts

struct RecipeCell {
    QString label;
    QString value;

    bool operator==(const RecipeCell&) const = default;
};

struct RecipeCard {
    QString prompt;
    // Style, motion, vibe.
    std::array<RecipeCell, 3> choices;
    // Quality, sound, author.
    std::array<RecipeCell, 3> details;

    bool operator==(const RecipeCard&) const = default;
};

// "Lite · 1 wumble credit", "Standard · 5 wumble credits"; a debug run costs nothing, so it names
// the mode instead of a price: "Lite · Debug", "Standard · Debug".
QString qualityText(bool lite, bool debug);

// Keys and handle are shown exactly as submitted.
RecipeCard recipeCard(const app::GenerationSubmission& submission);

} // namespace quorvel::library
