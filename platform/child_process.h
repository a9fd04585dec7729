#pragma once
// A long-running child process whose end is reported: the idle agent's screensaver host. Unlike
// ProcessRunner's tools, it is not awaited and its output is not read.

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace quorvel::platform {

struct ChildEnd {
    bool crashed = false; // ended by a signal
    int exitCode = 0; // when not crashed
    bool succeeded() const { return !crashed && exitCode == 0; }
};

class ChildProcess : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts `program` (an absolute path, never a shell) while none runs; false with the reason in
    // startError() when it could not be started.
    virtual bool start(const QString& program, const QStringList& arguments) = 0;
    virtual bool isRunning() const = 0;
    virtual QString startError() const = 0;
    // Asks the child to end (SIGTERM); finished() follows when it has.
    virtual void terminate() = 0;

signals:
    // Once per successful start().
    void finished(quorvel::platform::ChildEnd end);
};

// A child of this process. Destroying it ends a child still running: SIGTERM, then SIGKILL after a
// few seconds.
std::unique_ptr<ChildProcess> makeChildProcess(QObject* parent = nullptr);

} // namespace quorvel::platform
