#pragma once
// The app's windows, addressed by id: one window per id, raised when opened again, closed by id;
// and the main window group, which may hold several windows.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include <optional>

namespace quorvel::app {

namespace windowIds {
inline const QString create = QStringLiteral("create");
inline const QString library = QStringLiteral("library");
inline const QString preview = QStringLiteral("preview");
inline const QString upgrade = QStringLiteral("upgrade");
} // namespace windowIds

struct SceneSpec {
    QString id;
    QString title;
    QSize defaultSize; // points
};

// The single windows in declaration order.
const QList<SceneSpec>& singleWindowScenes();
// None for an id that names no window.
std::optional<SceneSpec> sceneFor(const QString& id);

// Makes the real windows. A window object is destroyed when its window has closed.
class WindowHost {
public:
    virtual ~WindowHost() = default;
    // Creates and shows the window of `scene` at its default size.
    virtual QObject* createWindow(const SceneSpec& scene) = 0;
    // Creates and shows a window of the main group.
    virtual QObject* createMainWindow() = 0;
    // Shows the window in front of the others and gives it the focus.
    virtual void raiseWindow(QObject* window) = 0;
    virtual void closeWindow(QObject* window) = 0;
};

class WindowDirectory final : public QObject {
    Q_OBJECT
public:
    explicit WindowDirectory(QObject* parent = nullptr);

    // Windows open only once a host exists; the host must outlive its use here.
    void setHost(WindowHost* host) { host_ = host; }

    // Brings the window with `id` to the front, creating it when none is open. False for an
    // unknown id or without a host.
    bool openWindow(const QString& id);
    // Closes the window with `id` when it is open.
    void dismissWindow(const QString& id);
    bool isOpen(const QString& id) const;
    // The open window of `id`, null when closed.
    QObject* window(const QString& id) const;

    // A new window of the main group.
    QObject* openMainWindow();
    // The most recently opened main window to the front, or a new one when none is open.
    void showMainWindow();
    int mainWindowCount() const;

private:
    WindowHost* host_ = nullptr;
    QList<QPair<QString, QPointer<QObject>>> windows_;
    QList<QPointer<QObject>> mainWindows_;
};

} // namespace quorvel::app
