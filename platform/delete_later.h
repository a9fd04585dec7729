#pragma once
// Owning pointers to QObjects that must go with deleteLater: a coroutine resumes from inside an
// object's own signal (a reply's finished, a job's done), so deleting it there would pull it out
// from under its own emission.

#include <QObject>

#include <memory>

namespace quorvel::platform {

struct DeleteLater {
    void operator()(QObject* object) const
    {
        if (object)
            object->deleteLater();
    }
};

template <typename T> using LaterPtr = std::unique_ptr<T, DeleteLater>;

} // namespace quorvel::platform
