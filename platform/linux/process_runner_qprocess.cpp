#include "platform/process_runner.h"

#include <QCoroSignal>
#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace quorvel::platform {

namespace {

// Fires once when the child has either finished or failed to start.
class Completion final : public QObject {
    Q_OBJECT
public:
    bool fired = false;
    void fire()
    {
        if (fired)
            return;
        fired = true;
        emit done();
    }
signals:
    void done();
};

QString notAbsoluteText(const QString& program)
{
    return QStringLiteral("Refusing to start \"%1\": not an absolute path.").arg(program);
}

} // namespace

QCoro::Task<ProcessResult> QProcessRunner::run(
    QString program, QStringList arguments, std::chrono::milliseconds timeout)
{
    ProcessResult result;
    if (!QDir::isAbsolutePath(program)) {
        result.errorText = notAbsoluteText(program);
        co_return result;
    }

    auto process = std::make_unique<QProcess>();
    Completion completion;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group, so a timeout also stops whatever the tool started.
    process->setChildProcessModifier([] { ::setpgid(0, 0); });

    // Drained as it arrives: a chatty child must never block on a full pipe.
    QObject::connect(process.get(), &QProcess::readyReadStandardOutput, &completion,
        [&result, p = process.get()] { result.output += p->readAllStandardOutput(); });
    QObject::connect(process.get(), &QProcess::finished, &completion, [&completion] { completion.fire(); });
    QObject::connect(process.get(), &QProcess::errorOccurred, &completion, [&completion](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            completion.fire();
    });

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &completion, [&result, p = process.get()] {
        result.timedOut = true;
        // The child leads its own group; a pid of 1 or less would make this signal far more than it.
        if (const qint64 pid = p->processId(); pid > 1)
            ::kill(static_cast<pid_t>(-pid), SIGKILL);
        p->kill();
    });

    process->start(QIODevice::ReadWrite);
    // Tools get no input; one that waits for some sees end of file instead of hanging until the timeout.
    process->closeWriteChannel();
    if (!completion.fired) {
        deadline.start(timeout);
        co_await qCoro(&completion, &Completion::done);
    }
    deadline.stop();

    if (process->error() == QProcess::FailedToStart) {
        result.errorText = process->errorString();
        co_return result;
    }
    result.started = true;
    result.output += process->readAllStandardOutput();
    if (result.timedOut) {
        result.errorText
            = QStringLiteral("\"%1\" did not finish within %2 ms and was killed.").arg(program).arg(timeout.count());
    } else if (process->exitStatus() == QProcess::CrashExit) {
        result.crashed = true;
        result.errorText = QStringLiteral("\"%1\" ended abnormally: %2").arg(program, process->errorString());
    } else {
        result.exitCode = process->exitCode();
    }
    co_return result;
}

bool QProcessRunner::startDetached(const QString& program, const QStringList& arguments)
{
    if (!QDir::isAbsolutePath(program))
        return false;
    return QProcess::startDetached(program, arguments);
}

} // namespace quorvel::platform

#include "process_runner_qprocess.moc"
