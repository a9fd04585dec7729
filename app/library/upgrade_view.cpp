#include "app/library/upgrade_view.h"

#include "app/library/upgrade_symbols.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvel::library {
namespace {

constexpr int symbolSize = 22;

QLabel* plainLabel(const QString& text, QWidget* parent, bool wrap = true)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wrap);
    return label;
}

QFont withSize(QFont font, qreal points, bool bold = false)
{
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QColor accent(const QWidget* widget)
{
    return widget->palette().color(QPalette::Highlight);
}

void makeSecondary(QLabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
}

} // namespace

UpgradeView::UpgradeView(UpgradeModel* model, QWidget* parent)
    : QScrollArea(parent)
    , model_(model)
{
    model_->setParent(this);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);

    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(28, 24, 28, 20);
    layout->setSpacing(16);
    layout->addWidget(buildHeader());

    balanceRow_ = new QWidget(content);
    auto* balance = new QHBoxLayout(balanceRow_);
    balance->setContentsMargins(0, 0, 0, 0);
    balanceSymbol_ = new QLabel(balanceRow_);
    balanceSymbol_->setFixedSize(symbolSize, symbolSize);
    balanceText_ = plainLabel(QString(), balanceRow_);
    balanceText_->setObjectName(QStringLiteral("balanceLine"));
    balanceText_->setFont(withSize(font(), font().pointSizeF() * 1.05, true));
    balance->addWidget(balanceSymbol_, 0, Qt::AlignTop);
    balance->addWidget(balanceText_, 1);
    layout->addWidget(balanceRow_);

    layout->addWidget(buildFeatures());

    auto* plans = new QHBoxLayout;
    plans->setSpacing(14);
    for (int i = 0; i < 2; ++i)
        plans->addWidget(buildPlanCard(model_->plans()[i], i), 1);
    layout->addLayout(plans);

    auto* footer = plainLabel(upgradeTexts::footer + QLatin1Char('\n') + upgradeTexts::footerFree, content);
    footer->setObjectName(QStringLiteral("footer"));
    footer->setAlignment(Qt::AlignHCenter);
    footer->setFont(withSize(font(), font().pointSizeF() * 0.85));
    makeSecondary(footer);
    layout->addWidget(footer);
    layout->addStretch();
    setWidget(content);

    connect(model_, &UpgradeModel::changed, this, &UpgradeView::refresh);
    refresh();
}

QWidget* UpgradeView::buildHeader()
{
    auto* header = new QWidget(this);
    auto* layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* top = new QHBoxLayout;
    top->addWidget(symbolLabel(QStringLiteral("sparkles"), 30, accent(this), header), 0, Qt::AlignVCenter);
    auto* title = plainLabel(upgradeTexts::title, header);
    title->setObjectName(QStringLiteral("title"));
    title->setFont(withSize(font(), font().pointSizeF() * 1.6, true));
    top->addWidget(title, 1);
    layout->addLayout(top);
    auto* subtitle = plainLabel(upgradeTexts::subtitle, header);
    makeSecondary(subtitle);
    layout->addWidget(subtitle);
    return header;
}

QWidget* UpgradeView::buildFeatures()
{
    auto* features = new QWidget(this);
    auto* layout = new QVBoxLayout(features);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    for (const Feature& feature : upgradeFeatures()) {
        auto* row = new QHBoxLayout;
        row->setSpacing(12);
        row->addWidget(symbolLabel(feature.symbol, symbolSize, accent(this), features), 0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* title = plainLabel(feature.title, features);
        title->setFont(withSize(font(), font().pointSizeF(), true));
        auto* line = plainLabel(feature.line, features);
        makeSecondary(line);
        texts->addWidget(title);
        texts->addWidget(line);
        row->addLayout(texts, 1);
        layout->addLayout(row);
    }
    return features;
}

QWidget* UpgradeView::buildPlanCard(const Plan& plan, int index)
{
    auto* card = new QFrame(this);
    card->setObjectName(QStringLiteral("plan:") + plan.key);
    card->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(4);

    auto* name = plainLabel(plan.name, card);
    name->setFont(withSize(font(), font().pointSizeF() * 1.1, true));
    layout->addWidget(name);
    auto* priceRow = new QHBoxLayout;
    auto* price = plainLabel(plan.price, card, false);
    price->setFont(withSize(font(), 30, true));
    auto* period = plainLabel(plan.period, card, false);
    makeSecondary(period);
    priceRow->addWidget(price, 0, Qt::AlignBaseline);
    priceRow->addWidget(period, 0, Qt::AlignBaseline);
    priceRow->addStretch();
    layout->addLayout(priceRow);
    auto* note = plainLabel(plan.note, card);
    note->setFont(withSize(font(), font().pointSizeF() * 0.95));
    layout->addWidget(note);
    if (plan.badge) {
        auto* badge = plainLabel(*plan.badge, card, false);
        badge->setObjectName(QStringLiteral("badge"));
        badge->setFont(withSize(font(), font().pointSizeF() * 0.8, true));
        badge->setStyleSheet(
            QStringLiteral("QLabel { color: white; background: %1; border-radius: 4px; padding: 2px 6px; }")
                .arg(accent(this).name()));
        layout->addWidget(badge, 0, Qt::AlignLeft);
    }
    layout->addStretch();
    auto* button = new QPushButton(plan.button, card);
    button->setObjectName(QStringLiteral("checkout:") + plan.key);
    if (index == 1)
        button->setDefault(true);
    const QString page = plan.checkoutPage;
    connect(button, &QPushButton::clicked, this, [this, page] {
        if (model_->openCheckout(page))
            checkoutOpened_ = true;
    });
    layout->addWidget(button);
    planButtons_[index] = button;
    return card;
}

void UpgradeView::refresh()
{
    const std::optional<SymbolLine> line = model_->balanceLine();
    balanceRow_->setVisible(line.has_value());
    if (!line)
        return;
    balanceText_->setText(line->text);
    balanceSymbol_->setPixmap(drawSymbol(line->symbol, symbolSize, accent(this), devicePixelRatioF()));
    balanceSymbol_->setAccessibleName(line->symbol);
}

void UpgradeView::reload()
{
    QCoro::Task<> task = model_->loadBalance();
    Q_UNUSED(task);
}

void UpgradeView::showEvent(QShowEvent* event)
{
    QScrollArea::showEvent(event);
    if (appeared_)
        return;
    appeared_ = true;
    reload();
}

bool UpgradeView::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && checkoutOpened_) {
        checkoutOpened_ = false;
        reload();
    }
    return QScrollArea::event(event);
}

} // namespace quorvel::library
