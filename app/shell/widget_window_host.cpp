#include "app/shell/widget_window_host.h"

#include "app/shell/main_window.h"
#include "app/shell/quorvel_app.h"
#include "app/shell/update_window.h"

#include <QVBoxLayout>
#include <QWidget>

namespace quorvel::app {

WidgetWindowHost::WidgetWindowHost(QuorvelApp& app, QObject* parent)
    : QObject(parent)
    , app_(app)
{
    app_.windows().setHost(this);
    connect(&app_.updates(), &UpdateCheckModel::presentRequested, this, &WidgetWindowHost::presentUpdates);
}

WidgetWindowHost::~WidgetWindowHost()
{
    app_.windows().setHost(nullptr);
    delete updateWindow_.data();
    for (const auto& window : windows_)
        delete window.data();
}

UpdateWindow* WidgetWindowHost::updateWindow() const
{
    return updateWindow_;
}

void WidgetWindowHost::setContent(const QString& id, ContentFactory factory)
{
    contents_.insert(id, std::move(factory));
}

void WidgetWindowHost::setMainContent(ContentFactory factory)
{
    mainContent_ = std::move(factory);
}

QObject* WidgetWindowHost::createWindow(const SceneSpec& scene)
{
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(scene.id);
    window->setWindowTitle(scene.title);
    window->setAccessibleName(scene.title);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    if (const auto factory = contents_.value(scene.id))
        layout->addWidget(factory(app_));
    window->resize(scene.defaultSize);
    remember(window);
    window->show();
    return window;
}

QObject* WidgetWindowHost::createMainWindow()
{
    auto* window = new MainWindow(app_);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (mainContent_)
        window->setContent(mainContent_(app_));
    remember(window);
    window->show();
    return window;
}

void WidgetWindowHost::raiseWindow(QObject* object)
{
    auto* window = qobject_cast<QWidget*>(object);
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

void WidgetWindowHost::closeWindow(QObject* object)
{
    if (auto* window = qobject_cast<QWidget*>(object))
        window->close();
}

void WidgetWindowHost::remember(QWidget* window)
{
    windows_.removeIf([](const QPointer<QWidget>& entry) { return entry.isNull(); });
    windows_.append(window);
}

void WidgetWindowHost::presentUpdates()
{
    if (!updateWindow_) {
        updateWindow_ = new UpdateWindow(app_.updates());
        updateWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    raiseWindow(updateWindow_);
}

} // namespace quorvel::app
