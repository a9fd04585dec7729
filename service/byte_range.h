#pragma once
// Reading a single "Range: bytes=..." header against a file size.

#include <QByteArray>
#include <QtGlobal>

namespace quorvel::service {

struct RangeRequest {
    enum class Kind {
        Whole, // no usable Range: send the whole file with 200
        Partial, // send [offset, offset + length) with 206
        Unsatisfiable, // answer 416 with "Content-Range: bytes */size"
    };
    Kind kind = Kind::Whole;
    qint64 offset = 0;
    qint64 length = 0;
};

// Never returns a range that reaches past `size`. Other units and multi-range requests are
// answered whole (a server may ignore them); malformed or unsatisfiable byte ranges are 416.
RangeRequest parseRange(const QByteArray& header, qint64 size);

} // namespace quorvel::service
