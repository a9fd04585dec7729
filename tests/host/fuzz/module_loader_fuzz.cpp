// libFuzzer target for loading a module from a bundle: the input is the bundle's Info.plist, the
// bundle holds a library file that is no plug-in. Any bytes give a typed load error, never a
// crash, an abort or a hang.
#include "host/module_loader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QString bundle()
{
    static const QTemporaryDir dir;
    static const QString path = [] {
        const QString bundle = dir.filePath(QStringLiteral("Fuzz.appex"));
        QDir().mkpath(bundle + QStringLiteral("/Contents/MacOS"));
        QFile library(bundle + QStringLiteral("/Contents/MacOS/libmodule.so"));
        if (!library.open(QIODevice::WriteOnly))
            std::abort();
        library.write("not a library");
        return bundle;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QFile info(bundle() + QStringLiteral("/Contents/Info.plist"));
    if (!info.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    info.write(reinterpret_cast<const char*>(data), qint64(size));
    info.close();
    const quorvel::saver::LoadResult result = quorvel::saver::loadSaverModule(bundle());
    if (!std::holds_alternative<quorvel::saver::LoadError>(result))
        std::abort(); // the bundle holds no module
    return 0;
}
