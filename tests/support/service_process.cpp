#include "support/service_process.h"

#include <QDeadlineTimer>

#include <csignal>
#include <sys/prctl.h>

namespace quorvel::testing {

ServiceProcess::~ServiceProcess()
{
    stop();
}

bool ServiceProcess::start(const QStringList& arguments)
{
    stop();
    arguments_ = arguments;
    error_.clear();
    port_ = 0;
    if (!data_) {
        data_ = std::make_unique<QTemporaryDir>();
        if (!data_->isValid()) {
            error_ = QStringLiteral("couldn't create a data directory: ") + data_->errorString();
            return false;
        }
    }
    process_ = std::make_unique<QProcess>();
    process_->setProgram(QStringLiteral(QUORVEL_BIN_DIR "/quorvel-service"));
    // A test that crashes must not leave its service running: the child gets SIGTERM when we die.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_->setArguments(
        QStringList { QStringLiteral("--data"), data_->path(), QStringLiteral("--port"), QStringLiteral("0") }
        + arguments);
    process_->start();
    if (!process_->waitForStarted(5000)) {
        error_ = QStringLiteral("couldn't start quorvel-service: ") + process_->errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    QByteArray out;
    while (!out.contains('\n') && !deadline.hasExpired() && process_->state() == QProcess::Running) {
        process_->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        out += process_->readAllStandardOutput();
    }
    bool ok = false;
    const int port = out.left(out.indexOf('\n')).trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535) {
        error_ = QStringLiteral("quorvel-service printed no port: ") + QString::fromUtf8(out) + errorText();
        stop();
        return false;
    }
    port_ = static_cast<quint16>(port);
    return true;
}

bool ServiceProcess::restart()
{
    const QStringList arguments = arguments_;
    return start(arguments);
}

void ServiceProcess::stop()
{
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(2000);
        }
    }
    error_ += QString::fromUtf8(process_->readAllStandardError());
    process_.reset();
}

bool ServiceProcess::isRunning() const
{
    return process_ && process_->state() == QProcess::Running;
}

qint64 ServiceProcess::processId() const
{
    return isRunning() ? process_->processId() : 0;
}

QString ServiceProcess::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

QString ServiceProcess::cdnUrl() const
{
    return baseUrl() + QStringLiteral("/cdn/");
}

QString ServiceProcess::errorText() const
{
    QString text = error_;
    if (process_)
        text += QString::fromUtf8(process_->readAllStandardError());
    return text;
}

} // namespace quorvel::testing
