#include "platform/child_process.h"

#include <QDir>
#include <QProcess>

namespace quorvel::platform {
namespace {

constexpr int kGraceMs = 3000;

class QtChildProcess final : public ChildProcess {
public:
    explicit QtChildProcess(QObject* parent)
        : ChildProcess(parent)
    {
        // The host's own lines (why a module could not play) reach the agent's log.
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        connect(&process_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
            emit finished(ChildEnd { status == QProcess::CrashExit, status == QProcess::CrashExit ? 0 : exitCode });
        });
    }

    ~QtChildProcess() override
    {
        disconnect(&process_, nullptr, this, nullptr);
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(kGraceMs))
            process_.kill();
        process_.waitForFinished(kGraceMs);
    }

    bool start(const QString& program, const QStringList& arguments) override
    {
        startError_.clear();
        if (process_.state() != QProcess::NotRunning) {
            startError_ = QStringLiteral("\"%1\" is already running").arg(program);
            return false;
        }
        if (!QDir::isAbsolutePath(program)) {
            startError_ = QStringLiteral("Refusing to start \"%1\": not an absolute path.").arg(program);
            return false;
        }
        process_.start(program, arguments);
        if (!process_.waitForStarted()) {
            startError_ = process_.errorString();
            return false;
        }
        return true;
    }

    bool isRunning() const override { return process_.state() != QProcess::NotRunning; }
    QString startError() const override { return startError_; }
    void terminate() override { process_.terminate(); }

private:
    QProcess process_;
    QString startError_;
};

} // namespace

std::unique_ptr<ChildProcess> makeChildProcess(QObject* parent)
{
    return std::make_unique<QtChildProcess>(parent);
}

} // namespace quorvel::platform
