#pragma once
// Child processes: fixed absolute tool paths and argument lists, never a shell.

#include <QByteArray>
#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <chrono>

namespace quorvel::platform {

struct ProcessResult {
    bool started = false; // false when the program could not be started at all
    bool timedOut = false; // killed after the timeout
    bool crashed = false; // ended by a signal
    int exitCode = -1;
    QByteArray output; // stdout and stderr interleaved, read while the child runs
    QString errorText; // why it did not start or did not finish, empty otherwise

    bool succeeded() const { return started && !timedOut && !crashed && exitCode == 0; }
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Runs to completion without blocking the event loop; a child still running after `timeout` is killed.
    virtual QCoro::Task<ProcessResult> run(
        QString program, QStringList arguments, std::chrono::milliseconds timeout = std::chrono::seconds(30))
        = 0;
    // Starts and forgets (the result of such a child is never looked at); false when it could not start.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

class QProcessRunner final : public ProcessRunner {
public:
    QCoro::Task<ProcessResult> run(QString program, QStringList arguments, std::chrono::milliseconds timeout) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
};

} // namespace quorvel::platform
