#include "app/shell/update_window.h"

#include "app/shell/app_icon.h"
#include "app/shell/update_check_model.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvel::app {

UpdateWindow::UpdateWindow(UpdateCheckModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , model_(model)
{
    setWindowTitle(windowTitleText);
    setAccessibleName(windowTitleText);

    auto* icon = new QLabel(this);
    QPixmap pixmap = QPixmap::fromImage(drawAppIcon(64 * devicePixelRatio()));
    pixmap.setDevicePixelRatio(devicePixelRatio());
    icon->setPixmap(pixmap);
    icon->setAccessibleName(QStringLiteral("Quorvel"));

    headline_ = new QLabel(this);
    QFont bold = headline_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    headline_->setFont(bold);
    detail_ = new QLabel(this);
    detail_->setWordWrap(true);
    detail_->setTextFormat(Qt::PlainText);
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setAccessibleName(QStringLiteral("Checking for updates"));

    download_ = new QPushButton(model_.downloadButtonText(), this);
    download_->setAccessibleName(model_.downloadButtonText());
    done_ = new QPushButton(QStringLiteral("OK"), this);
    done_->setAccessibleName(QStringLiteral("OK"));
    done_->setDefault(true);

    auto* words = new QVBoxLayout;
    words->setSpacing(6);
    words->addWidget(headline_);
    words->addWidget(detail_);
    words->addWidget(progress_);
    words->addStretch();
    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(words, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(download_);
    buttons->addWidget(done_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    connect(download_, &QPushButton::clicked, this, [this] {
        model_.openDownload();
        close();
    });
    connect(done_, &QPushButton::clicked, this, &QWidget::close);
    connect(&model_, &UpdateCheckModel::changed, this, &UpdateWindow::refresh);
    refresh();
    resize(420, 150);
}

void UpdateWindow::refresh()
{
    using State = UpdateCheckModel::State;
    headline_->setText(model_.headline());
    headline_->setAccessibleName(model_.headline());
    detail_->setText(model_.detail());
    detail_->setAccessibleName(model_.detail());
    detail_->setVisible(!model_.detail().isEmpty());
    progress_->setVisible(model_.state() == State::checking);
    download_->setVisible(model_.state() == State::updateAvailable);
    download_->setDefault(model_.state() == State::updateAvailable);
    done_->setDefault(model_.state() != State::updateAvailable);
}

} // namespace quorvel::app
