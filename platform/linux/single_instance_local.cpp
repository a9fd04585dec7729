#include "platform/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <memory>

namespace quorvel::platform {

namespace {

const QByteArray kActivate = "activate\n";
// A primary that holds the lock but is still starting gets this long to open its socket.
constexpr int kConnectAttempts = 20;
constexpr int kConnectWaitMs = 100;

} // namespace

struct LocalSocketSingleInstance::State {
    QString lockPath;
    QString socketPath;
    std::unique_ptr<QLockFile> lock;
    std::unique_ptr<QLocalServer> server;
};

LocalSocketSingleInstance::LocalSocketSingleInstance(QString name, QString directory, QObject* parent)
    : SingleInstance(parent)
    , state_(new State)
{
    if (directory.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        directory = runtime.isEmpty()
            ? QDir::tempPath() + QStringLiteral("/quorvel-runtime-") + qEnvironmentVariable("USER")
            : runtime + QStringLiteral("/quorvel");
    }
    state_->lockPath = directory + QLatin1Char('/') + name + QStringLiteral(".lock");
    state_->socketPath = directory + QLatin1Char('/') + name + QStringLiteral(".socket");
}

LocalSocketSingleInstance::~LocalSocketSingleInstance()
{
    release();
    delete state_;
}

SingleInstance::Claim LocalSocketSingleInstance::claim()
{
    if (state_->server)
        return Claim::Primary;
    const QString folder = QFileInfo(state_->lockPath).absolutePath();
    if (!QDir().mkpath(folder))
        return Claim::Unavailable;
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    auto lock = std::make_unique<QLockFile>(state_->lockPath);
    // Only a dead holder frees the lock, never its age: a long-running app stays the primary.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        auto server = std::make_unique<QLocalServer>();
        server->setSocketOptions(QLocalServer::UserAccessOption);
        QLocalServer::removeServer(state_->socketPath); // a socket file left by a crash
        if (!server->listen(state_->socketPath))
            return Claim::Unavailable;
        connect(server.get(), &QLocalServer::newConnection, this, [this, raw = server.get()] {
            while (QLocalSocket* peer = raw->nextPendingConnection()) {
                connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                    if (peer->canReadLine() && peer->readLine() == kActivate)
                        emit activationRequested();
                });
                if (peer->canReadLine() && peer->readLine() == kActivate)
                    emit activationRequested();
            }
        });
        state_->lock = std::move(lock);
        state_->server = std::move(server);
        return Claim::Primary;
    }
    if (lock->error() != QLockFile::LockFailedError)
        return Claim::Unavailable;

    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(state_->socketPath);
        if (socket.waitForConnected(kConnectWaitMs)) {
            socket.write(kActivate);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent ? Claim::HandedOver : Claim::Unavailable;
        }
        QThread::msleep(kConnectWaitMs);
    }
    return Claim::Unavailable;
}

void LocalSocketSingleInstance::release()
{
    if (state_->server) {
        state_->server->close();
        state_->server.reset();
    }
    if (state_->lock) {
        state_->lock->unlock();
        state_->lock.reset();
    }
}

} // namespace quorvel::platform
