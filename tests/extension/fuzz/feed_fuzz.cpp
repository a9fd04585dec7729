// libFuzzer target for the bytes the extension reads from elsewhere: feed bodies (and the last good
// feed) and the stored retention record. The first input byte picks the parser; the second picks
// whether the rest is taken raw or drives the building of a well-formed document, which reaches
// the decoders' deeper branches that random bytes seldom do. Build with -DQUORVEL_BUILD_FUZZERS=ON and clang.
#include "extension/feed_model.h"
#include "extension/retention_metrics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

namespace {

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size)
        : data_(data)
        , size_(size)
    {
    }
    uint8_t next() { return position_ < size_ ? data_[position_++] : 0; }
    bool more() const { return position_ < size_; }
    QString text()
    {
        const uint8_t length = next() % 24;
        QByteArray bytes;
        for (uint8_t i = 0; i < length && more(); ++i)
            bytes += char(next());
        return QString::fromUtf8(bytes);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

QJsonValue value(Bytes& bytes)
{
    static const char* const kStrings[] = { "https://cdn.example/a/b.mp4", "https://cdn.example/", "http://h/clip.mp4",
        "file:///etc/passwd", "http://[::1", "", "2025-03-07", "2025-13-40", "2025-01-01", "yesterday" };
    switch (bytes.next() % 7) {
    case 0:
        return QJsonValue::Null;
    case 1:
        return QString::fromLatin1(kStrings[bytes.next() % std::size(kStrings)]);
    case 2:
        return bytes.text();
    case 3:
        return double(int8_t(bytes.next())) / (bytes.next() % 2 ? 1.0 : 2.0);
    case 4:
        return bytes.next() % 2 == 0;
    case 5:
        return QJsonArray {};
    default:
        return QJsonObject {};
    }
}

QJsonObject object(Bytes& bytes, const QStringList& keys, int depth)
{
    QJsonObject result;
    const int count = bytes.next() % (keys.size() + 2);
    for (int i = 0; i < count && bytes.more(); ++i) {
        const uint8_t pick = bytes.next();
        const QString key = pick % 8 == 7 ? bytes.text() : keys[pick % keys.size()];
        if (depth > 0 && bytes.next() % 3 == 0) {
            QJsonArray array;
            const int entries = bytes.next() % 4;
            for (int e = 0; e < entries; ++e)
                array.append(object(bytes, keys, depth - 1));
            result.insert(key, array);
        } else if (depth > 0 && bytes.next() % 3 == 0) {
            result.insert(key, object(bytes, keys, depth - 1));
        } else {
            result.insert(key, value(bytes));
        }
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    using namespace quorvel::extension;
    const bool manifestMode = data[0] % 2 == 0;
    QByteArray bytes(reinterpret_cast<const char*>(data) + 2, static_cast<qsizetype>(size - 2));
    if (data[1] % 2 == 1) {
        static const QStringList manifestKeys { "videos", "url", "author", "location", "date", "title" };
        static const QStringList recordKeys { "schema", "firstSeenDay", "days", "sessions", "seconds", "2025-01-01" };
        Bytes source(data + 2, size - 2);
        bytes = QJsonDocument(object(source, manifestMode ? manifestKeys : recordKeys, 3)).toJson();
    }
    if (manifestMode) {
        const auto decoded = decodeManifest(bytes);
        if (const auto* manifest = std::get_if<Manifest>(&decoded)) {
            for (const Video& video : manifest->videos) {
                // Every name the cache derives from a feed must stay inside the cache directory.
                if (cacheFileName(video.url).contains(QLatin1Char('/')))
                    __builtin_trap();
                captionText(video);
            }
        }
    } else {
        RetentionRecord::decode(bytes).encode();
    }
    return 0;
}
