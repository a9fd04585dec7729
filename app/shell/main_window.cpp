#include "app/shell/main_window.h"

#include "app/shell/app_icon.h"
#include "app/shell/move_card.h"
#include "app/shell/quorvel_app.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel::app {

MainWindow::MainWindow(QuorvelApp& app, QWidget* parent)
    : QMainWindow(parent)
    , app_(app)
{
    setWindowTitle(QStringLiteral("Quorvel"));
    setAccessibleName(QStringLiteral("Quorvel"));
    buildMenu();

    auto* central = new QWidget(this);
    layout_ = new QVBoxLayout(central);
    layout_->setContentsMargins(20, 20, 20, 20);
    layout_->setSpacing(16);
    // Reading the location for the first time decides whether the move is offered.
    if (app_.appLocation().shouldOfferMove()) {
        moveCard_ = new MoveCard(app_.appLocation(), central);
        layout_->addWidget(moveCard_);
    }
    setCentralWidget(central);
    setContent(brandArea());
    resize(640, 480);
}

void MainWindow::setContent(QWidget* content)
{
    if (content_)
        content_->deleteLater();
    content_ = content;
    if (!content_)
        return;
    // A content of fixed width (the main screen's) sits in the middle; the window fits it.
    const bool fixedWidth = content_->minimumWidth() == content_->maximumWidth();
    layout_->addWidget(content_, 1, fixedWidth ? Qt::AlignHCenter : Qt::Alignment());
    if (fixedWidth)
        resize(sizeHint().expandedTo(QSize(content_->width() + 40, 480)));
}

void MainWindow::buildMenu()
{
    // The menu bar's own overflow button is a control like any other for assistive tools.
    for (auto* button : menuBar()->findChildren<QToolButton*>())
        if (button->accessibleName().isEmpty())
            button->setAccessibleName(QStringLiteral("More menus"));
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Quorvel"));
    menu->setAccessibleName(QStringLiteral("Quorvel"));
    for (const MenuItem& item : QuorvelApp::applicationMenu()) {
        if (item.command == MenuCommand::quit)
            menu->addSeparator();
        QAction* action = menu->addAction(item.text);
        if (!item.shortcut.isEmpty())
            action->setShortcut(QKeySequence(item.shortcut));
        switch (item.command) {
        case MenuCommand::about:
            action->setMenuRole(QAction::AboutRole);
            connect(action, &QAction::triggered, this, &MainWindow::showAbout);
            break;
        case MenuCommand::checkForUpdates:
            action->setMenuRole(QAction::ApplicationSpecificRole);
            connect(action, &QAction::triggered, this, [this] { app_.updates().checkForUpdates(); });
            break;
        case MenuCommand::quit:
            action->setMenuRole(QAction::QuitRole);
            connect(action, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);
            break;
        }
    }
}

void MainWindow::showAbout()
{
    auto* about = new QMessageBox(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setWindowTitle(QStringLiteral("About Quorvel"));
    about->setAccessibleName(QStringLiteral("About Quorvel"));
    about->setTextFormat(Qt::PlainText);
    about->setText(app_.versionText());
    about->setIconPixmap(QPixmap::fromImage(drawAppIcon(64)));
    about->open();
}

QWidget* MainWindow::brandArea()
{
    auto* area = new QWidget;
    area->setAccessibleName(QStringLiteral("Quorvel"));
    auto* logo = new QLabel(area);
    const qreal scale = devicePixelRatioF();
    QPixmap pixmap = QPixmap::fromImage(drawAppIcon(int(128 * scale)));
    pixmap.setDevicePixelRatio(scale);
    logo->setPixmap(pixmap);
    logo->setAlignment(Qt::AlignCenter);
    logo->setAccessibleName(QStringLiteral("Quorvel logo"));
    auto* name = new QLabel(QStringLiteral("Quorvel"), area);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setWeight(QFont::DemiBold);
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);
    name->setAccessibleName(QStringLiteral("Quorvel"));
    auto* version = new QLabel(QStringLiteral("Version ") + app_.versionNumber(), area);
    version->setAlignment(Qt::AlignCenter);
    version->setForegroundRole(QPalette::PlaceholderText);
    version->setAccessibleName(version->text());

    auto* layout = new QVBoxLayout(area);
    layout->addStretch(1);
    layout->addWidget(logo);
    layout->addSpacing(8);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addStretch(2);
    return area;
}

} // namespace quorvel::app
