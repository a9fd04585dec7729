// libFuzzer target for the property-list reader and the shape check in front of it: any bytes
// give a value or an error, never a crash, a stack overflow or a runaway; and the check refuses
// as malformed only binary documents the parser refuses as well.
#include "platform/plist_reader.h"
#include "platform/plist_shape.h"

#include <plist/plist.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace quorvel::platform;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const detail::PlistShape shape = detail::checkPlistShape(bytes);
    const PlistReadResult read = readPlist(bytes);
    if (shape != detail::PlistShape::fits && read.value)
        std::abort(); // a refused shape never reaches the parser
    // Small documents cannot nest deep enough to hurt the parser, so it can judge them directly.
    if (shape == detail::PlistShape::malformed && size <= 65536) {
        plist_t root = nullptr;
        plist_from_bin(bytes.constData(), uint32_t(size), &root);
        if (root) {
            plist_free(root);
            std::abort(); // the check refused a document the parser reads
        }
    }
    return 0;
}
