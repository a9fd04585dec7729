#include "app/shell/move_card.h"

#include "app/shell/app_location_manager.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quorvel::app {

namespace {
// A button shows "&" only doubled; a single one would mark the next letter as a shortcut.
QString buttonText(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}
} // namespace

MoveCard::MoveCard(AppLocationManager& manager, QWidget* parent)
    : QFrame(parent)
    , manager_(manager)
{
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(texts::moveCardTitle);

    auto* symbol = new QLabel(this);
    const QIcon folder = QIcon::fromTheme(QStringLiteral("folder-new"), style()->standardIcon(QStyle::SP_DirIcon));
    symbol->setPixmap(folder.pixmap(36, 36));
    symbol->setAccessibleName(QStringLiteral("Applications folder"));

    auto* title = new QLabel(texts::moveCardTitle, this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    title->setFont(titleFont);
    auto* text = new QLabel(texts::moveCardText, this);
    text->setWordWrap(true);

    progress_ = new QProgressBar(this);
    progress_->setRange(0, 0);
    progress_->setMaximumWidth(120);
    progress_->setTextVisible(false);
    progress_->setAccessibleName(texts::moving);
    movingLabel_ = new QLabel(texts::moving, this);
    moveButton_ = new QPushButton(buttonText(texts::moveButton), this);
    moveButton_->setAccessibleName(texts::moveButton);
    moveButton_->setDefault(true);

    fallback_ = new QLabel(this);
    fallback_->setWordWrap(true);
    fallback_->setTextFormat(Qt::PlainText);
    QFont caption = fallback_->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    fallback_->setFont(caption);
    QPalette red = fallback_->palette();
    red.setColor(QPalette::WindowText, QColor(215, 48, 39));
    fallback_->setPalette(red);
    openFolder_ = new QPushButton(buttonText(texts::openApplicationsFolder), this);
    openFolder_->setAccessibleName(texts::openApplicationsFolder);

    auto* action = new QHBoxLayout;
    action->addWidget(progress_);
    action->addWidget(movingLabel_);
    action->addWidget(moveButton_);
    action->addStretch();
    auto* failure = new QHBoxLayout;
    failure->addWidget(fallback_, 1);
    failure->addWidget(openFolder_);

    auto* words = new QVBoxLayout;
    words->setSpacing(6);
    words->addWidget(title);
    words->addWidget(text);
    words->addSpacing(4);
    words->addLayout(action);
    words->addLayout(failure);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(14);
    layout->addWidget(symbol, 0, Qt::AlignTop);
    layout->addLayout(words, 1);

    connect(moveButton_, &QPushButton::clicked, this, [this] { manager_.moveToApplications(false); });
    connect(openFolder_, &QPushButton::clicked, this, [this] { manager_.openApplicationsFolder(); });
    connect(&manager_, &AppLocationManager::isMovingChanged, this, &MoveCard::refresh);
    connect(&manager_, &AppLocationManager::fallbackMessageChanged, this, &MoveCard::refresh);
    connect(&manager_, &AppLocationManager::replacementConfirmationNeededChanged, this, &MoveCard::askReplacement);
    refresh();
}

void MoveCard::refresh()
{
    const bool moving = manager_.isMoving();
    progress_->setVisible(moving);
    movingLabel_->setVisible(moving);
    moveButton_->setVisible(!moving);
    const auto message = manager_.fallbackMessage();
    fallback_->setText(message.value_or(QString()));
    fallback_->setVisible(message.has_value());
    openFolder_->setVisible(message.has_value());
}

void MoveCard::askReplacement()
{
    if (!manager_.replacementConfirmationNeeded()) {
        if (alert_)
            alert_->close();
        return;
    }
    if (alert_)
        return;
    alert_ = new QMessageBox(
        QMessageBox::Warning, texts::replaceTitle, texts::replaceMessage, QMessageBox::NoButton, window());
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    alert_->setAccessibleName(texts::replaceTitle);
    QPushButton* cancel = alert_->addButton(QMessageBox::Cancel);
    cancel->setAccessibleName(cancel->text());
    QPushButton* replace = alert_->addButton(buttonText(texts::replaceButton), QMessageBox::DestructiveRole);
    replace->setAccessibleName(texts::replaceButton);
    alert_->setDefaultButton(cancel);
    connect(alert_, &QMessageBox::finished, this, [this, replace] {
        const bool confirmed = alert_ && alert_->clickedButton() == replace;
        alert_ = nullptr;
        // Closing the question in any way but the button resets it, as "Cancel" does.
        if (confirmed)
            manager_.moveToApplications(true);
        else
            manager_.cancelReplacement();
    });
    alert_->open();
}

} // namespace quorvel::app
