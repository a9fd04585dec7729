#include "app/library/generation_recipe_view.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quorvel::library {
namespace {

QFont scaled(QFont font, qreal factor)
{
    font.setPointSizeF(font.pointSizeF() * factor);
    return font;
}

QLabel* plainLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

GenerationRecipeView::GenerationRecipeView(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    prompt_ = plainLabel(this);
    prompt_->setObjectName(QStringLiteral("recipePrompt"));
    prompt_->setWordWrap(true);
    prompt_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    prompt_->setFont(scaled(font(), 1.05));
    layout->addWidget(prompt_);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);

    auto* cells = new QGridLayout;
    cells->setHorizontalSpacing(16);
    cells->setVerticalSpacing(8);
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, palette().color(QPalette::PlaceholderText));
    for (int i = 0; i < 6; ++i) {
        auto* stack = new QVBoxLayout;
        stack->setSpacing(1);
        captions_[i] = plainLabel(this);
        captions_[i]->setFont(scaled(font(), 0.8));
        captions_[i]->setPalette(secondary);
        values_[i] = plainLabel(this);
        values_[i]->setFont(scaled(font(), 0.9));
        values_[i]->setWordWrap(true);
        values_[i]->setObjectName(QStringLiteral("recipeValue%1").arg(i));
        stack->addWidget(captions_[i]);
        stack->addWidget(values_[i]);
        stack->addStretch();
        cells->addLayout(stack, i / 3, i % 3);
    }
    for (int column = 0; column < 3; ++column)
        cells->setColumnStretch(column, 1);
    layout->addLayout(cells);
    setSubmission(std::nullopt);
}

void GenerationRecipeView::setSubmission(const std::optional<app::GenerationSubmission>& submission)
{
    const RecipeCard card = submission ? recipeCard(*submission) : RecipeCard {};
    prompt_->setText(card.prompt);
    for (int i = 0; i < 6; ++i) {
        const RecipeCell& cell = i < 3 ? card.choices[i] : card.details[i - 3];
        captions_[i]->setText(cell.label);
        values_[i]->setText(cell.value);
    }
}

} // namespace quorvel::library
