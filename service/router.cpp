#include "service/router.h"

#include <exception>

namespace quorvel::service {

bool Router::Route::matches(const QString& requested) const
{
    if (path.endsWith(QLatin1Char('/')))
        return requested.startsWith(path) && requested.size() > path.size();
    return requested == path;
}

void Router::add(const QByteArray& method, const QString& path, Handler handler)
{
    routes_.append({ method, path, std::move(handler) });
}

void Router::dispatch(const Request& request, const Reply& reply) const
{
    try {
        if (request.body.size() > kMaxBodyBytes || request.header("Content-Length").toLongLong() > kMaxBodyBytes)
            throw ApiError { ApiError::Code::TooLarge, QStringLiteral("The request body is larger than 64 KiB."), {} };
        const QByteArray method = request.method == "HEAD" ? QByteArray("GET") : request.method;
        QByteArrayList allowed;
        for (const Route& route : routes_) {
            if (!route.matches(request.path))
                continue;
            if (route.method == method) {
                route.handler(request, reply);
                return;
            }
            allowed << route.method;
        }
        if (allowed.isEmpty())
            throw ApiError::notFound(QStringLiteral("No such resource: %1").arg(request.path.left(200)));
        Response response = Response::error({ ApiError::Code::MethodNotAllowed,
            QStringLiteral("%1 is not allowed here.").arg(QString::fromLatin1(request.method)), {} });
        response.headers.emplace_back("Allow", allowed.join(", "));
        reply.send(response);
    } catch (const ApiError& error) {
        reply.send(Response::error(error));
    } catch (const std::exception& error) {
        qCritical("request %s %s failed: %s", request.method.constData(), qPrintable(request.path), error.what());
        reply.send(
            Response::error({ ApiError::Code::Internal, QStringLiteral("Something went wrong on the service."), {} }));
    }
}

} // namespace quorvel::service
