#include "host/stages.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

namespace quorvel::saver {

SaverTarget screenTarget(const QScreen* screen)
{
    return SaverTarget { screen->geometry(), false, screen->name(), const_cast<QScreen*>(screen) };
}

QList<SaverTarget> screenTargets()
{
    QList<SaverTarget> targets;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen == primary)
            targets.prepend(screenTarget(screen));
        else
            targets.append(screenTarget(screen));
    }
    return targets;
}

bool FullScreenStage::present(QWidget* view, const SaverTarget& target)
{
    QScreen* screen = target.screen;
    if (!screen)
        for (QScreen* candidate : QGuiApplication::screens())
            if (!screen && candidate->name() == target.screenName)
                screen = candidate;
    if (!screen)
        return false;
    view->setParent(nullptr);
    view->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    view->setCursor(Qt::BlankCursor);
    view->setScreen(screen);
    view->setGeometry(target.frame);
    view->winId(); // makes the native window so it can be put on its screen before showing
    if (QWindow* window = view->windowHandle())
        window->setScreen(screen);
    view->showFullScreen();
    view->raise();
    view->activateWindow();
    return true;
}

void FullScreenStage::withdraw(QWidget* view)
{
    view->hide();
}

ContainerStage::ContainerStage(QWidget* container)
    : container_(container)
{
    if (!container_->layout()) {
        auto* layout = new QVBoxLayout(container_);
        layout->setContentsMargins(0, 0, 0, 0);
    }
}

SaverTarget ContainerStage::target() const
{
    return SaverTarget { QRect(container_->mapToGlobal(QPoint(0, 0)), container_->size()), true, {} };
}

bool ContainerStage::present(QWidget* view, const SaverTarget&)
{
    if (!container_)
        return false;
    container_->layout()->addWidget(view);
    view->show();
    return true;
}

void ContainerStage::withdraw(QWidget* view)
{
    // Detached so the container never deletes what the module's controller owns.
    if (container_)
        container_->layout()->removeWidget(view);
    view->hide();
    view->setParent(nullptr);
}

ForeignWindowStage::ForeignWindowStage(QWindow* foreign, const QRect& frame)
    : foreign_(foreign)
    , frame_(frame)
{
}

SaverTarget ForeignWindowStage::target() const
{
    if (!foreign_)
        return {};
    return SaverTarget { frame_, false, {} };
}

bool ForeignWindowStage::present(QWidget* view, const SaverTarget& target)
{
    if (!foreign_ || target.frame.isEmpty())
        return false;
    view->setParent(nullptr);
    view->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    view->setGeometry(QRect(QPoint(0, 0), target.frame.size()));
    view->winId();
    QWindow* window = view->windowHandle();
    if (!window)
        return false;
    window->setParent(foreign_);
    window->setPosition(0, 0);
    view->show();
    return true;
}

void ForeignWindowStage::withdraw(QWidget* view)
{
    view->hide();
    if (QWindow* window = view->windowHandle())
        window->setParent(nullptr);
}

} // namespace quorvel::saver
