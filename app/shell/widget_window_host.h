#pragma once
// The real windows behind the window ids: top-level widgets at each scene's default size, whose
// content later screens provide; the main group's windows; and the updates window.

#include "app/shell/window_directory.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace quorvel::app {

class QuorvelApp;
class UpdateWindow;

class WidgetWindowHost final : public QObject, public WindowHost {
    Q_OBJECT
public:
    using ContentFactory = std::function<QWidget*(QuorvelApp& app)>;

    // Registers itself as the app's window host; `app` must outlive it.
    explicit WidgetWindowHost(QuorvelApp& app, QObject* parent = nullptr);
    ~WidgetWindowHost() override;

    // What the window of `id` shows; a window without one opens empty.
    void setContent(const QString& id, ContentFactory factory);
    // What a main window shows in place of the product's name and icon.
    void setMainContent(ContentFactory factory);

    QObject* createWindow(const SceneSpec& scene) override;
    QObject* createMainWindow() override;
    void raiseWindow(QObject* window) override;
    void closeWindow(QObject* window) override;

    // The updates window, null until the first check answered or was asked for.
    UpdateWindow* updateWindow() const;

private:
    void presentUpdates();
    void remember(QWidget* window);

    QuorvelApp& app_;
    QHash<QString, ContentFactory> contents_;
    ContentFactory mainContent_;
    QPointer<UpdateWindow> updateWindow_;
    // Every window made here that is still open; they go before the app object they show.
    QList<QPointer<QWidget>> windows_;
};

} // namespace quorvel::app
