#include "test_http_server.h"

#include <QTcpSocket>

namespace quorvel::testing {

TestHttpServer::TestHttpServer()
{
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, &TestHttpServer::onConnection);
}

QString TestHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort());
}

void TestHttpServer::onConnection()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> requestLine = buffer->left(buffer->indexOf("\r\n")).split(' ');
            buffer->remove(0, end + 4);
            answer(socket, requestLine.value(1));
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TestHttpServer::answer(QTcpSocket* socket, const QByteArray& target)
{
    requests << QString::fromUtf8(target);
    const QString path = QString::fromUtf8(target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?')));
    const CannedResponse response = routes_.value(path, CannedResponse { 404, "not found", "text/plain" });
    if (response.stall)
        return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (response.cutOffAfter >= 0)
        head += "Connection: close\r\n";
    head += "\r\n";
    socket->write(head);
    if (response.cutOffAfter >= 0) {
        socket->write(response.body.left(response.cutOffAfter));
        socket->flush();
        socket->disconnectFromHost();
        return;
    }
    socket->write(response.body);
}

} // namespace quorvel::testing
