// libFuzzer target for the bytes the extension reads from elsewhere: feed bodies (and the last good
// feed) and the stored retention record; the first input byte picks the parser.
// Build with -DQUORVEL_BUILD_FUZZERS=ON and clang.
#include "extension/feed_model.h"
#include "extension/retention_metrics.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    using namespace quorvel::extension;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    if (data[0] % 2 == 1) {
        RetentionRecord::decode(bytes).encode();
        return 0;
    }
    const auto decoded = decodeManifest(bytes);
    if (const auto* manifest = std::get_if<Manifest>(&decoded)) {
        for (const Video& video : manifest->videos) {
            // Every name the cache derives from a feed must stay inside the cache directory.
            if (cacheFileName(video.url).contains(QLatin1Char('/')))
                __builtin_trap();
            captionText(video);
        }
    }
    return 0;
}
