#pragma once
// Owns a network reply and lets it go with deleteLater: a coroutine resumes from inside the
// reply's finished signal, so deleting it there would pull it out from under its own emission.

#include <QNetworkReply>

#include <memory>

namespace quorvel::extension {

struct DeleteLater {
    void operator()(QObject* object) const
    {
        if (object)
            object->deleteLater();
    }
};

using ReplyPtr = std::unique_ptr<QNetworkReply, DeleteLater>;

} // namespace quorvel::extension
