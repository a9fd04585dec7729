#pragma once
// The recipe card: the prompt, selectable and wrapped, above the six facts of the submission.
// Read-only; everything shown is plain text.

#include "app/library/generation_recipe_card.h"

#include <QWidget>

#include <array>
#include <optional>

class QLabel;

namespace quorvel::library {

class GenerationRecipeView final : public QWidget {
    Q_OBJECT
public:
    explicit GenerationRecipeView(QWidget* parent = nullptr);

    // None empties the card.
    void setSubmission(const std::optional<app::GenerationSubmission>& submission);

    // For tests: the prompt label and the value label of the cell at `index` (0-5, in reading order).
    QLabel* promptLabel() const { return prompt_; }
    QLabel* valueLabel(int index) const { return values_.at(index); }
    QLabel* captionLabel(int index) const { return captions_.at(index); }

private:
    QLabel* prompt_ = nullptr;
    std::array<QLabel*, 6> captions_ {};
    std::array<QLabel*, 6> values_ {};
};

} // namespace quorvel::library
