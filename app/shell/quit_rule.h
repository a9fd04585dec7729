#pragma once
// When the process ends. Qt's own rule ends it as the last window closes, which would drop a
// generation or a move half-way; this one keeps the process without windows while either runs,
// opens the preview when the generation brings its clip and no main window is there to do it, and
// ends the process once no window is open and nothing runs.

#include <QObject>

#include <functional>

namespace quorvel::app {

class AppLocationManager;
class GenerationStore;
class WindowDirectory;

class QuitRule final : public QObject {
    Q_OBJECT
public:
    // Takes the decision from Qt for the whole application. Everything must outlive the rule;
    // `quit` ends the process; `hasOpenWindow` tells whether the user still sees a window (by
    // default: any shown top-level window of the application).
    QuitRule(GenerationStore& generation, AppLocationManager& location, WindowDirectory& windows,
        std::function<void()> quit, std::function<bool()> hasOpenWindow = {}, QObject* parent = nullptr);

    // A generation or a move is under way.
    bool busy() const;

    // Any shown top-level window that is not a popup or attached to another window.
    static bool anyWindowShown();

private:
    void evaluate();
    void evaluateLater();
    void clipChanged();

    GenerationStore& generation_;
    AppLocationManager& location_;
    WindowDirectory& windows_;
    std::function<void()> quit_;
    std::function<bool()> hasOpenWindow_;
};

} // namespace quorvel::app
