#pragma once
// The shape of property-list bytes, judged before any parser sees them. libplist recurses once per
// nesting level while it parses and again while it frees, and it parses a binary object once for
// every reference to it; a deep or self-multiplying document would exhaust the stack or the clock.
// These checks walk the bytes without recursion and in time linear in their size.

#include "platform/plist_reader.h"

#include <QByteArray>

#include <cstdint>

namespace quorvel::platform::detail {

enum class PlistShape {
    fits,
    malformed, // a binary document whose objects cannot all be reached (bad trailer, reference or cycle)
    tooDeep, // more than kMaxPlistNesting arrays and dictionaries inside each other
    tooLarge, // parsing would build more values than plistValueAllowance allows
    textWithNul, // 8-bit binary text, or any XML, holding a NUL byte: the parser would cut or garble the text
};

// How many values a document of `byteCount` bytes may expand into. A document without shared
// containers never expands beyond its byte count; the floor leaves room for writers that share
// equal strings and numbers.
inline constexpr std::int64_t plistValueAllowance(std::int64_t byteCount)
{
    return byteCount > (std::int64_t(1) << 20) ? byteCount : (std::int64_t(1) << 20);
}

// True for the binary form ("bplist00"), the same test the parser applies.
bool isBinaryPlist(const QByteArray& bytes);

// Binary documents: the object graph from the root, each container visited once. XML documents:
// the nesting of <array> and <dict> elements outside comments, CDATA and declarations (an XML
// document's values never outnumber its bytes). Never `malformed` for XML: the parser judges that.
// Text is judged where the parser would lose part of it without a word.
PlistShape checkPlistShape(const QByteArray& bytes);

} // namespace quorvel::platform::detail
