#pragma once
// Plain values for one HTTP exchange, independent of the server library.

#include "service/api_error.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrlQuery>

#include <optional>
#include <utility>
#include <vector>

namespace quorvel::service {

using HeaderList = std::vector<std::pair<QByteArray, QByteArray>>;

struct Request {
    QByteArray method; // upper case: "GET", "POST", ...
    QString path; // decoded path, no query
    QUrlQuery query;
    HeaderList headers;
    QByteArray body;

    // Value of the first header with this name, compared case-insensitively; empty when absent.
    QByteArray header(const QByteArray& name) const;
    // Decoded value of a query item; nullopt when the item is absent.
    std::optional<QString> queryValue(const QString& key) const;
};

struct Response {
    // A byte range of a file on disk, streamed instead of `body`.
    struct FileRange {
        QString path;
        qint64 offset = 0;
        qint64 length = 0;
    };

    int status = 200;
    QByteArray contentType;
    QByteArray body;
    HeaderList headers;
    std::optional<FileRange> file;

    static Response json(int status, const QJsonObject& object);
    static Response error(const ApiError& error);
    static Response html(int status, const QByteArray& page);
};

} // namespace quorvel::service
