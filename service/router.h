#pragma once
// Maps method + path to handlers. Decides 404, 405 and 413 before any handler runs, and turns
// an ApiError thrown by a handler into its JSON reply.

#include "service/http_server.h"

#include <QList>

namespace quorvel::service {

inline constexpr qsizetype kMaxBodyBytes = 64 * 1024;

class Router {
public:
    using Handler = std::function<void(const Request&, const Reply&)>;
    // A path ending in "/" matches every path below it. HEAD is served by the GET handler.
    void add(const QByteArray& method, const QString& path, Handler handler);
    void dispatch(const Request& request, const Reply& reply) const;

private:
    struct Route {
        QByteArray method;
        QString path;
        Handler handler;
        bool matches(const QString& requested) const;
    };
    QList<Route> routes_;
};

} // namespace quorvel::service
