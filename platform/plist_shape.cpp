#include "platform/plist_shape.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace quorvel::platform::detail {

namespace {

constexpr qsizetype kHeaderBytes = 8;
constexpr qsizetype kTrailerBytes = 32;

// An unsigned big-endian integer of `width` bytes. A width past 8 reads as its last 8 bytes, the
// way the parser reads it, so the check follows exactly the references the parser follows.
std::optional<quint64> bigEndian(const QByteArray& bytes, quint64 at, int width)
{
    if (width < 1 || at > quint64(bytes.size()) || quint64(bytes.size()) - at < quint64(width))
        return std::nullopt;
    quint64 value = 0;
    for (int i = std::max(0, width - 8); i < width; ++i)
        value = (value << 8) | uchar(bytes[qsizetype(at) + i]);
    return value;
}

// The binary form: a header, the objects, a table of object offsets, and a trailer that gives the
// widths of offsets and references, the object count, the root and where the table starts.
class BinaryGraph {
public:
    explicit BinaryGraph(const QByteArray& bytes)
        : bytes_(bytes)
    {
    }

    PlistShape check()
    {
        if (!readTrailer())
            return PlistShape::malformed;
        Object root;
        switch (classify(root_, &root)) {
        case Verdict::unreachable:
            return PlistShape::malformed;
        case Verdict::scalar:
            return PlistShape::fits;
        case Verdict::textWithNul:
            return PlistShape::textWithNul;
        case Verdict::container:
            break;
        }
        return walk(root);
    }

private:
    struct Object {
        quint64 refsAt = 0; // where its references start
        quint64 refs = 0; // how many (a dictionary has one for each key and one for each value)
    };
    struct Frame {
        quint64 index;
        Object object;
        quint64 next; // the reference to follow next
        quint64 values; // values this container expands into so far, itself included
    };
    enum class Seen : quint8 { no, onPath, done };

    bool readTrailer()
    {
        if (bytes_.size() < kHeaderBytes + kTrailerBytes)
            return false;
        size_ = quint64(bytes_.size());
        end_ = size_ - kTrailerBytes;
        offsetWidth_ = uchar(bytes_[qsizetype(end_) + 6]);
        refWidth_ = uchar(bytes_[qsizetype(end_) + 7]);
        // The reference width matters only once a container has references to follow.
        if (offsetWidth_ < 1)
            return false;
        count_ = *bigEndian(bytes_, end_ + 8, 8);
        root_ = *bigEndian(bytes_, end_ + 16, 8);
        table_ = *bigEndian(bytes_, end_ + 24, 8);
        // One offset per object, each inside the bytes. The bounds are the bytes themselves rather
        // than the parts of the format: the parser accepts, say, an object that overlaps the header,
        // and a bound looser than the parser's only means following references it would refuse.
        return count_ > 0 && root_ < count_ && table_ < size_ && count_ <= (size_ - table_) / quint64(offsetWidth_);
    }

    enum class Verdict { unreachable, scalar, container, textWithNul };

    // The count in a marker's low nibble, or in the integer object after it when the nibble is 0xF;
    // `at` moves past the marker and that integer. None when the integer is not one.
    std::optional<quint64> markerCount(uchar marker, quint64* at) const
    {
        quint64 count = marker & 0x0F;
        ++*at;
        if (count != 0x0F)
            return count;
        if (*at >= size_)
            return std::nullopt;
        const uchar lengthMarker = uchar(bytes_[qsizetype(*at)]);
        if ((lengthMarker >> 4) != 0x1)
            return std::nullopt;
        const int width = 1 << (lengthMarker & 0x0F);
        const std::optional<quint64> length = bigEndian(bytes_, *at + 1, width);
        *at += 1 + quint64(width);
        return length;
    }

    // What object `index` is, from its marker; its references go to `object` for a container.
    Verdict classify(quint64 index, Object* object) const
    {
        const std::optional<quint64> offset = bigEndian(bytes_, table_ + index * quint64(offsetWidth_), offsetWidth_);
        if (!offset || *offset >= size_)
            return Verdict::unreachable;
        const uchar marker = uchar(bytes_[qsizetype(*offset)]);
        const int kind = marker >> 4;
        quint64 at = *offset;
        // The parser copies 8-bit text up to its first NUL and drops the rest without a word.
        if (kind == 0x5) {
            const std::optional<quint64> length = markerCount(marker, &at);
            if (length && at < size_
                && QByteArrayView(bytes_)
                       .sliced(qsizetype(at), qsizetype(std::min(*length, size_ - at)))
                       .contains('\0'))
                return Verdict::textWithNul;
            return Verdict::scalar;
        }
        // Arrays, ordered sets, sets and dictionaries: anything that holds references is followed.
        if (kind < 0xA || kind > 0xD)
            return Verdict::scalar;
        const std::optional<quint64> count = markerCount(marker, &at);
        const quint64 perEntry = kind == 0xD ? 2 : 1;
        if (!count || at > size_)
            return Verdict::unreachable;
        if (*count > 0 && (refWidth_ < 1 || *count > (size_ - at) / quint64(refWidth_) / perEntry))
            return Verdict::unreachable;
        *object = Object { at, *count * perEntry };
        return Verdict::container;
    }

    PlistShape walk(const Object& root)
    {
        const quint64 allowance = quint64(plistValueAllowance(bytes_.size()));
        std::vector<Seen> seen(count_, Seen::no);
        std::vector<quint64> expanded(count_, 0);
        std::vector<Frame> path;
        path.push_back({ root_, root, 0, 1 });
        seen[root_] = Seen::onPath;
        while (!path.empty()) {
            const std::size_t top = path.size() - 1;
            if (path[top].next == path[top].object.refs) {
                const Frame done = path[top];
                path.pop_back();
                seen[done.index] = Seen::done;
                expanded[done.index] = done.values;
                if (path.empty())
                    return PlistShape::fits;
                path.back().values += done.values;
                if (path.back().values > allowance)
                    return PlistShape::tooLarge;
                continue;
            }
            const quint64 child
                = *bigEndian(bytes_, path[top].object.refsAt + path[top].next * quint64(refWidth_), refWidth_);
            ++path[top].next;
            if (child >= count_ || seen[child] == Seen::onPath)
                return PlistShape::malformed; // a dangling reference, or a container inside itself
            if (seen[child] == Seen::done) {
                path[top].values += expanded[child];
                if (path[top].values > allowance)
                    return PlistShape::tooLarge;
                continue;
            }
            Object object;
            const Verdict verdict = classify(child, &object);
            if (verdict == Verdict::unreachable)
                return PlistShape::malformed;
            if (verdict == Verdict::textWithNul)
                return PlistShape::textWithNul;
            if (verdict == Verdict::scalar) {
                seen[child] = Seen::done;
                expanded[child] = 1;
                path[top].values += 1;
                if (path[top].values > allowance)
                    return PlistShape::tooLarge;
                continue;
            }
            if (path.size() >= std::size_t(kMaxPlistNesting))
                return PlistShape::tooDeep;
            seen[child] = Seen::onPath;
            path.push_back({ child, object, 0, 1 });
        }
        return PlistShape::fits;
    }

    const QByteArray& bytes_;
    quint64 size_ = 0;
    quint64 end_ = 0; // where the trailer starts
    int offsetWidth_ = 0;
    int refWidth_ = 0;
    quint64 count_ = 0;
    quint64 root_ = 0;
    quint64 table_ = 0;
};

// Where markup starting at `at` ends (just past its '>'), and whether that is certain: a parser
// that honours quotes (and, in a declaration, a bracketed subset) and one that stops at the first
// '>' must agree, or the text inside could be markup to one of them. -1 when it never ends.
struct MarkupEnd {
    qsizetype end = -1;
    bool certain = false;
};

MarkupEnd markupEnd(const QByteArray& bytes, qsizetype at, bool declaration)
{
    const qsizetype naive = bytes.indexOf('>', at);
    char quote = 0;
    int brackets = 0;
    for (qsizetype i = at; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'')
            quote = c;
        else if (declaration && c == '[')
            ++brackets;
        else if (declaration && c == ']' && brackets > 0)
            --brackets;
        else if (c == '>' && brackets == 0)
            return { i + 1, i == naive };
    }
    return {};
}

MarkupEnd delimitedEnd(const QByteArray& bytes, qsizetype at, const char* open, const char* close)
{
    const qsizetype found = bytes.indexOf(close, at + qsizetype(qstrlen(open)));
    if (found < 0)
        return {};
    const qsizetype end = found + qsizetype(qstrlen(close));
    return { end, bytes.indexOf('>', at) == end - 1 };
}

// Any case and any continuation: counting an odd tag as a container can only refuse a document
// the parser would refuse anyway, while missing one could let the parser recurse.
bool namedContainer(const QByteArray& bytes, qsizetype nameAt)
{
    const QByteArrayView name = QByteArrayView(bytes).sliced(std::min(nameAt, bytes.size()));
    for (const char* container : { "array", "dict" }) {
        const qsizetype length = qsizetype(qstrlen(container));
        if (name.size() >= length && qstrnicmp(name.data(), container, size_t(length)) == 0)
            return true;
    }
    return false;
}

// Counts the nesting of <array> and <dict> elements. Comments, CDATA, processing instructions and
// declarations are skipped, and tags stepped over whole, only where their end is certain. Past the
// first uncertain one the count turns one-way: every container start still counts, no end does,
// so no quoting trick can hide nesting from the count.
PlistShape checkXml(const QByteArray& bytes)
{
    // No XML document holds a NUL byte; the parser would copy text around one wrongly.
    if (bytes.contains('\0'))
        return PlistShape::textWithNul;
    int depth = 0;
    bool oneWay = false;
    qsizetype at = 0;
    while ((at = bytes.indexOf('<', at)) >= 0) {
        const QByteArrayView rest = QByteArrayView(bytes).sliced(at);
        if (oneWay) {
            if (namedContainer(bytes, at + 1)) {
                const qsizetype name = bytes.at(at + 1) == 'd' || bytes.at(at + 1) == 'D' ? 4 : 5;
                const bool empty = rest.sliced(1 + name).startsWith("/>");
                if (depth + 1 > kMaxPlistNesting)
                    return PlistShape::tooDeep;
                depth += empty ? 0 : 1;
            }
            ++at;
            continue;
        }
        MarkupEnd markup;
        bool closing = false;
        bool container = false;
        if (rest.startsWith("<!--"))
            markup = delimitedEnd(bytes, at, "<!--", "-->");
        else if (rest.startsWith("<![CDATA["))
            markup = delimitedEnd(bytes, at, "<![CDATA[", "]]>");
        else if (rest.startsWith("<?"))
            markup = delimitedEnd(bytes, at, "<?", "?>");
        else if (rest.startsWith("<!"))
            markup = markupEnd(bytes, at + 1, true);
        else {
            closing = rest.startsWith("</");
            container = namedContainer(bytes, at + (closing ? 2 : 1));
            markup = markupEnd(bytes, at + 1, false);
        }
        if (!markup.certain) {
            oneWay = true; // look at this markup again, one-way
            continue;
        }
        if (container && closing) {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (container) {
            if (depth + 1 > kMaxPlistNesting)
                return PlistShape::tooDeep;
            if (bytes[markup.end - 2] != '/')
                ++depth;
        }
        at = markup.end;
    }
    return PlistShape::fits;
}

} // namespace

bool isBinaryPlist(const QByteArray& bytes)
{
    return bytes.startsWith("bplist00");
}

PlistShape checkPlistShape(const QByteArray& bytes)
{
    return isBinaryPlist(bytes) ? BinaryGraph(bytes).check() : checkXml(bytes);
}

} // namespace quorvel::platform::detail
