#pragma once
// Requests from outside to end this process (SIGTERM, SIGINT, SIGHUP), delivered on the event loop
// so the process can shut down in order instead of dying mid-frame.

#include <QObject>

class QSocketNotifier;

namespace quorvel::platform {

class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    // At most one exists at a time; while it does, those signals no longer end the process by
    // themselves. Destruction restores their default action.
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;
    TerminationWatcher(const TerminationWatcher&) = delete;
    TerminationWatcher& operator=(const TerminationWatcher&) = delete;

    // False when the watcher could not be set up (the signals then keep their default action).
    bool isWatching() const { return notifier_ != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace quorvel::platform
