#include "service/byte_range.h"

#include <optional>

namespace quorvel::service {
namespace {

// A non-empty run of decimal digits, without sign or spaces, that fits in 63 bits.
std::optional<qint64> parseNumber(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    return text.toLongLong();
}

RangeRequest unsatisfiable()
{
    return { RangeRequest::Kind::Unsatisfiable, 0, 0 };
}

} // namespace

RangeRequest parseRange(const QByteArray& header, qint64 size)
{
    const QByteArray trimmed = header.trimmed();
    if (trimmed.isEmpty())
        return {};
    const int equals = trimmed.indexOf('=');
    if (equals < 0)
        return unsatisfiable();
    if (trimmed.left(equals).trimmed().toLower() != "bytes")
        return {};
    const QByteArray rangeSpec = trimmed.mid(equals + 1).trimmed();
    if (rangeSpec.contains(','))
        return {};
    const int dash = rangeSpec.indexOf('-');
    if (dash < 0)
        return unsatisfiable();
    const QByteArray first = rangeSpec.left(dash).trimmed();
    const QByteArray last = rangeSpec.mid(dash + 1).trimmed();

    if (first.isEmpty()) { // suffix: the last N bytes
        const auto suffix = parseNumber(last);
        if (!suffix || *suffix == 0 || size == 0)
            return unsatisfiable();
        const qint64 length = qMin(*suffix, size);
        return { RangeRequest::Kind::Partial, size - length, length };
    }
    const auto start = parseNumber(first);
    if (!start || *start >= size)
        return unsatisfiable();
    qint64 end = size - 1;
    if (!last.isEmpty()) {
        const auto requestedEnd = parseNumber(last);
        if (!requestedEnd || *requestedEnd < *start)
            return unsatisfiable();
        end = qMin(*requestedEnd, size - 1);
    }
    return { RangeRequest::Kind::Partial, *start, end - *start + 1 };
}

} // namespace quorvel::service
