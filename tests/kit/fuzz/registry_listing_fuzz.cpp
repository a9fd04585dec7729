// libFuzzer target for the two readers of the registry tool's listing: the kit's (every screensaver
// extension) and the app's (the entries of its own extension). Input whose first byte is even is
// a listing: neither reader may crash, and whatever they take from it must be well formed and
// read back the same from the line the tool would print for it. Input whose first byte is odd is
// cut into a mark, an identifier, a version and a path; whenever these are what the tool would
// list, the line it prints must read back to exactly them in both readers.
#include "app/install/plugin_registration.h"
#include "kit/pluginkit_manager.h"

#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using quorvel::app::PluginElection;
using quorvel::app::Registration;
using quorvel::kit::PluginkitExtension;
using quorvel::kit::PluginkitManager;

const QString kOwnIdentifier = QStringLiteral("com.quorvel.Quorvel.Extension");
const QString kDate = QStringLiteral("2024-01-01 00:00:00 +0000");

[[noreturn]] void fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "registry listing: %s: %s\n", what, detail.toUtf8().constData());
    std::abort();
}

bool holdsControl(const QString& text)
{
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            return true;
    return false;
}

bool holdsControlBesidesTab(const QString& text)
{
    QString without = text;
    return holdsControl(without.remove(QLatin1Char('\t')));
}

bool holdsSpaceOrParenthesis(const QString& text)
{
    for (const QChar c : text)
        if (c.isSpace() || c == QLatin1Char('(') || c == QLatin1Char(')'))
            return true;
    return false;
}

QChar markOf(PluginElection election)
{
    switch (election) {
    case PluginElection::ignored:
        return QLatin1Char('-');
    case PluginElection::superseded:
        return QLatin1Char('=');
    case PluginElection::active:
        break;
    }
    return QLatin1Char('+');
}

// The verbose line the tool prints for one registration.
QString toolLine(
    QChar mark, const QString& identifier, const QString& version, const QString& uuid, const QString& path)
{
    return QString(mark) + QStringLiteral("    ") + identifier + QLatin1Char('(') + version + QStringLiteral(")\t")
        + uuid + QLatin1Char('\t') + kDate + QLatin1Char('\t') + path;
}

void checkKitRecord(const PluginkitExtension& r)
{
    if (r.bundleIdentifier.isEmpty() || holdsSpaceOrParenthesis(r.bundleIdentifier) || holdsControl(r.bundleIdentifier))
        fail("kit identifier", r.bundleIdentifier);
    if (holdsControl(r.version) || r.uuid.isEmpty() || r.uuid.startsWith(QLatin1Char('/')) || holdsControl(r.uuid))
        fail("kit version or uuid", r.version + QLatin1Char('|') + r.uuid);
    if (!r.path.startsWith(QLatin1Char('/')) || r.path != r.path.trimmed() || holdsControl(r.path))
        fail("kit path", r.path);
    const QString again = toolLine(QLatin1Char('+'), r.bundleIdentifier, r.version, r.uuid, r.path);
    const auto reread = PluginkitManager::parseListing(again);
    if (reread.size() != 1 || !(reread.first() == r))
        fail("kit record does not read back", again);
}

void checkAppEntry(const Registration& r)
{
    // A line without a path field has its path from the first slash on, tabs and all.
    if (r.path
        && (!r.path->startsWith(QLatin1Char('/')) || holdsControlBesidesTab(*r.path) || *r.path != r.path->trimmed()))
        fail("app path", *r.path);
    if (r.version && (holdsControl(*r.version) || r.version->contains(QLatin1Char('\t'))))
        fail("app version", *r.version);
    // Rendered as the tool would (a line without a path has no path field), it must read back.
    QString again = QString(markOf(r.election)) + QStringLiteral("    ") + kOwnIdentifier;
    if (r.version)
        again += QLatin1Char('(') + *r.version + QLatin1Char(')');
    again += QStringLiteral("\tU\t") + kDate;
    if (r.path)
        again += QLatin1Char('\t') + *r.path;
    if (!r.path && again.contains(QLatin1Char('/')))
        return; // a version with a slash is read as a path when no path follows; not a line the tool prints
    const auto reread = quorvel::app::registrationsIn(again, kOwnIdentifier);
    if (reread.size() != 1 || !(reread.first() == r))
        fail("app entry does not read back", again);
}

void listing(const QString& output)
{
    const auto records = PluginkitManager::parseListing(output);
    if (records.size() > output.count(QLatin1Char('\n')) + output.count(QLatin1Char('\r')) + 1)
        fail("kit records outnumber lines", output);
    for (const auto& r : records)
        checkKitRecord(r);
    const auto entries = quorvel::app::registrationsIn(output, kOwnIdentifier);
    if (entries.size() > output.count(QLatin1Char('\n')) + 1)
        fail("app entries outnumber lines", output);
    for (const auto& r : entries)
        checkAppEntry(r);
    (void)quorvel::app::chooseRegistration(entries, QStringLiteral("/Applications/Quorvel.app"));
}

void generated(const QString& input)
{
    const QStringList parts = input.split(QChar(0x1F)); // unit separator between the fields
    if (parts.size() != 3)
        return;
    const QString& identifier = parts[0];
    const QString& version = parts[1];
    const QString path = QLatin1Char('/') + parts[2];
    // What the tool refuses to list, and paths it could list but no reader can keep whole. A bundle
    // identifier is a reverse-domain name, never one that starts like a path: the readers take the
    // first field that begins with "/" for the path (lines need not hold tabs).
    if (identifier.isEmpty() || identifier.startsWith(QLatin1Char('/')) || holdsSpaceOrParenthesis(identifier)
        || holdsControl(identifier) || holdsControl(version) || holdsControl(path) || path != path.trimmed())
        return;
    const QString uuid = QStringLiteral("0B9E5D0A-1F35-4F43-8A5B-1234567890AB");
    const QString line = toolLine(QLatin1Char('='), identifier, version, uuid, path);
    const auto records = PluginkitManager::parseListing(line + QLatin1Char('\n'));
    if (records.size() != 1 || !(records.first() == PluginkitExtension { identifier, version, uuid, path }))
        fail("kit misreads a listable line", line);
    const auto entries = quorvel::app::registrationsIn(line + QLatin1Char('\n'), identifier);
    const Registration expected { path, version, PluginElection::superseded };
    if (entries.isEmpty() || !(entries.first() == expected))
        fail("app misreads a listable line", line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(QByteArrayView(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1)));
    if (decoder.hasError())
        return 0; // the readers see undecodable output as empty
    if (data[0] % 2 == 0)
        listing(text);
    else
        generated(text);
    return 0;
}
