#pragma once
// Runs the built quorvel-service for a test: a fresh data directory, a free loopback port read
// from its first stdout line, and a stop that never leaves the process behind.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace quorvel::testing {

class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts the service with `--data <temporary dir> --port 0` and `arguments` (for example
    // "--instant"), and waits up to 10 s for its port. On failure returns false and errorText()
    // says why. A running service is stopped first. The data directory survives restart() calls.
    bool start(const QStringList& arguments = { QStringLiteral("--instant") });
    // Stops and starts again on the same data directory with the same arguments.
    bool restart();
    // Ends the process (SIGTERM, then SIGKILL after 5 s).
    void stop();

    bool isRunning() const;
    // Process id of the running service, 0 when none runs.
    qint64 processId() const;
    quint16 port() const { return port_; }
    // "http://127.0.0.1:PORT", no trailing slash.
    QString baseUrl() const;
    // "http://127.0.0.1:PORT/cdn/".
    QString cdnUrl() const;
    // What the service wrote to stderr, and why start() failed.
    QString errorText() const;

private:
    std::unique_ptr<QTemporaryDir> data_;
    std::unique_ptr<QProcess> process_;
    QStringList arguments_;
    quint16 port_ = 0;
    QString error_;
};

} // namespace quorvel::testing
