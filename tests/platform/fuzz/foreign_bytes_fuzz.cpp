// libFuzzer target for the platform parsers that read bytes written by someone else: bundle
// Info.plists (XML or binary), the update feed, and preference files of the earlier format. The first input byte picks
// the parser. Build with -DQUORVEL_BUILD_FUZZERS=ON and clang.
#include "platform/appcast.h"
#include "platform/plist_reader.h"
#include "platform/plist_writer.h"
#include "platform/preference_codec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    using namespace quorvel::platform::detail;
    switch (data[0] % 3) {
    case 0:
        if (const auto document = quorvel::platform::readPlist(bytes); document.value) {
            quorvel::platform::plistText(*document.value, QStringLiteral("CFBundleIdentifier"));
            quorvel::platform::plistText(*document.value, QStringLiteral("CFBundleExecutable"));
        }
        break;
    case 1:
        parseAppcast(bytes);
        break;
    default:
        if (const auto values = decodeLegacyPreferenceFile(bytes))
            quorvel::platform::writeXmlPlist(*values);
        break;
    }
    return 0;
}
