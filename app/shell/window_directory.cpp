#include "app/shell/window_directory.h"

namespace quorvel::app {

const QList<SceneSpec>& singleWindowScenes()
{
    static const QList<SceneSpec> scenes {
        { windowIds::library, QStringLiteral("Your Wumbles"), { 780, 560 } },
        { windowIds::create, QStringLiteral("Create Wumble"), { 560, 640 } },
        { windowIds::preview, QStringLiteral("Wumble Preview"), { 720, 680 } },
        { windowIds::upgrade, QStringLiteral("Upgrade"), { 580, 560 } },
    };
    return scenes;
}

std::optional<SceneSpec> sceneFor(const QString& id)
{
    for (const auto& scene : singleWindowScenes())
        if (scene.id == id)
            return scene;
    return std::nullopt;
}

WindowDirectory::WindowDirectory(QObject* parent)
    : QObject(parent)
{
}

QObject* WindowDirectory::window(const QString& id) const
{
    for (const auto& [windowId, window] : windows_)
        if (windowId == id && window)
            return window;
    return nullptr;
}

bool WindowDirectory::isOpen(const QString& id) const
{
    return window(id) != nullptr;
}

bool WindowDirectory::openWindow(const QString& id)
{
    const auto scene = sceneFor(id);
    if (!scene || !host_)
        return false;
    if (QObject* existing = window(id)) {
        host_->raiseWindow(existing);
        return true;
    }
    QObject* created = host_->createWindow(*scene);
    if (!created)
        return false;
    windows_.removeIf([&](const auto& entry) { return entry.first == id || !entry.second; });
    windows_.append({ id, QPointer<QObject>(created) });
    return true;
}

void WindowDirectory::dismissWindow(const QString& id)
{
    if (QObject* open = window(id); open && host_)
        host_->closeWindow(open);
}

QObject* WindowDirectory::openMainWindow()
{
    if (!host_)
        return nullptr;
    QObject* created = host_->createMainWindow();
    mainWindows_.removeIf([](const QPointer<QObject>& window) { return window.isNull(); });
    if (created)
        mainWindows_.append(QPointer<QObject>(created));
    return created;
}

void WindowDirectory::showMainWindow()
{
    mainWindows_.removeIf([](const QPointer<QObject>& window) { return window.isNull(); });
    if (mainWindows_.isEmpty()) {
        openMainWindow();
        return;
    }
    if (host_)
        host_->raiseWindow(mainWindows_.last());
}

int WindowDirectory::mainWindowCount() const
{
    int count = 0;
    for (const auto& window : mainWindows_)
        count += window ? 1 : 0;
    return count;
}

} // namespace quorvel::app
