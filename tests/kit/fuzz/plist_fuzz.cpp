// libFuzzer target for the property-list read path: any bytes must give a value or an error,
// never a crash, an abort, a leak or a hang; whatever parses must serialise and parse again.
#include "kit/plist_codec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto parsed = quorvel::kit::parsePlist(bytes);
    if (parsed.value) {
        const auto written = quorvel::kit::serializeBinaryPlist(*parsed.value);
        if (written.bytes)
            (void)quorvel::kit::parsePlist(*written.bytes);
    }
    return 0;
}
