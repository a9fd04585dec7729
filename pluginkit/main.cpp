// quorvel-pluginkit: this platform's plug-in registry tool. Same command line and listing format
// as the registry tool the app and the kit talk to:
//   -m [-A] [-D] [-v] [-p point] [-i identifier]   list matching registrations
//   -a path...                                      register bundles
//   -r path...                                      unregister bundles
//   -e use|ignore|default -i identifier             elect (turn on or off)
#include "pluginkit/registry.h"

#include "platform/file_lock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <optional>

using namespace quorvel::pluginkit;

namespace {

enum class Mode { none, match, add, remove, elect };

struct Options {
    Mode mode = Mode::none;
    bool verbose = false;
    bool duplicates = false;
    QString extensionPoint;
    QString identifier;
    QString election;
    QStringList paths;
};

int fail(const QString& message)
{
    std::fprintf(stderr, "pluginkit: error: %s\n", qPrintable(message));
    return 1;
}

QString normalisedPath(const QString& path)
{
    QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return absolute;
}

bool parse(const QStringList& args, Options* o, QString* error)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto next = [&](QString* into) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("option %1 needs a value").arg(a);
                return false;
            }
            *into = args[++i];
            return true;
        };
        if (a == QStringLiteral("-m"))
            o->mode = Mode::match;
        else if (a == QStringLiteral("-a"))
            o->mode = Mode::add;
        else if (a == QStringLiteral("-r"))
            o->mode = Mode::remove;
        else if (a == QStringLiteral("-e")) {
            o->mode = Mode::elect;
            if (!next(&o->election))
                return false;
        } else if (a == QStringLiteral("-v") || a == QStringLiteral("-vv"))
            o->verbose = true;
        else if (a == QStringLiteral("-A"))
            continue; // every version is always kept and listed
        else if (a == QStringLiteral("-D"))
            o->duplicates = true;
        else if (a == QStringLiteral("-p")) {
            if (!next(&o->extensionPoint))
                return false;
        } else if (a == QStringLiteral("-i")) {
            if (!next(&o->identifier))
                return false;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            *error = QStringLiteral("unknown option %1").arg(a);
            return false;
        } else
            o->paths.append(a);
    }
    if (o->mode == Mode::none) {
        *error = QStringLiteral("usage: quorvel-pluginkit -m [-A] [-D] [-v] [-p point] [-i identifier] | -a path... | "
                                "-r path... | -e use|ignore|default -i identifier");
        return false;
    }
    return true;
}

int listMatches(const Registry& registry, const Options& o)
{
    QTextStream out(stdout);
    const auto& all = registry.registrations();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const Registration& r = all[i];
        if (!o.extensionPoint.isEmpty() && r.extensionPoint != o.extensionPoint)
            continue;
        if (!o.identifier.isEmpty() && r.identifier != o.identifier)
            continue;
        if (!listable(r))
            continue;
        // The newest registration of an identifier is the one in use; older ones are superseded.
        bool superseded = false;
        for (qsizetype j = i + 1; j < all.size(); ++j)
            if (all[j].identifier == r.identifier)
                superseded = true;
        if (superseded && !o.duplicates)
            continue;
        QChar mark = QLatin1Char(' ');
        if (superseded)
            mark = QLatin1Char('=');
        else if (r.election == Election::use)
            mark = QLatin1Char('+');
        else if (r.election == Election::ignore)
            mark = QLatin1Char('-');
        out << listingLine(r, mark, o.verbose) << '\n';
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    QString error;
    if (!parse(app.arguments().mid(1), &options, &error))
        return fail(error);

    Registry registry(Registry::defaultFilePath());
    // Listing only reads: every save replaces the file whole by a rename, so a reader sees one
    // complete version without the lock, and a registry never written (its folder perhaps not
    // even creatable yet) is simply empty.
    std::optional<quorvel::platform::FileLock> lock;
    if (options.mode != Mode::match) {
        if (!QDir().mkpath(QFileInfo(registry.filePath()).absolutePath()))
            return fail(QStringLiteral("cannot create the folder of %1").arg(registry.filePath()));
        lock.emplace(registry.filePath() + QStringLiteral(".lock"));
        switch (lock->lock(std::chrono::seconds(10))) {
        case quorvel::platform::FileLock::Result::acquired:
            break;
        case quorvel::platform::FileLock::Result::busy:
            return fail(QStringLiteral("the registry is locked by another process"));
        case quorvel::platform::FileLock::Result::failed:
            return fail(QStringLiteral("cannot lock the registry: %1").arg(lock->errorString()));
        }
    }
    if (!registry.load(&error))
        return fail(error);

    switch (options.mode) {
    case Mode::match:
        return listMatches(registry, options);
    case Mode::add:
        if (options.paths.isEmpty())
            return fail(QStringLiteral("-a needs at least one bundle path"));
        for (const QString& raw : options.paths) {
            const QString path = normalisedPath(raw);
            const auto facts = readBundle(path);
            if (!facts)
                return fail(QStringLiteral(
                    "%1: not a plug-in bundle (no readable Contents/Info.plist with a CFBundleIdentifier)")
                                .arg(printable(path)));
            // Refused before anything is added, so the registry stays as it was.
            if (const QString why = unlistableRegistration(path, *facts); !why.isEmpty())
                return fail(QStringLiteral("%1: cannot be registered: %2").arg(printable(path), why));
            registry.add(path, *facts, QDateTime::currentDateTimeUtc());
        }
        break;
    case Mode::remove:
        if (options.paths.isEmpty())
            return fail(QStringLiteral("-r needs at least one bundle path"));
        for (const QString& raw : options.paths)
            registry.remove(normalisedPath(raw));
        break;
    case Mode::elect: {
        Election election = Election::none;
        if (options.election == QStringLiteral("use"))
            election = Election::use;
        else if (options.election == QStringLiteral("ignore"))
            election = Election::ignore;
        else if (options.election != QStringLiteral("default"))
            return fail(QStringLiteral("-e takes use, ignore or default"));
        if (options.identifier.isEmpty())
            return fail(QStringLiteral("-e needs -i identifier"));
        if (registry.elect(options.identifier, election) == 0)
            return fail(QStringLiteral("no registration of %1").arg(options.identifier));
        break;
    }
    case Mode::none:
        break;
    }
    if (!registry.save(&error))
        return fail(error);
    return 0;
}
