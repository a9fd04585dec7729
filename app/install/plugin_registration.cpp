#include "app/install/plugin_registration.h"

#include <QRegularExpression>
#include <QStringList>

namespace quorvel::app {

QString electionName(PluginElection election)
{
    switch (election) {
    case PluginElection::ignored:
        return QStringLiteral("ignored");
    case PluginElection::superseded:
        return QStringLiteral("superseded");
    case PluginElection::active:
        break;
    }
    return QStringLiteral("active");
}

namespace {

bool holdsControl(const QString& line)
{
    for (const QChar c : line)
        if ((c.category() == QChar::Other_Control && c != QLatin1Char('\t')) || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            return true;
    return false;
}

// Whether the start of the line, up to the version or (in a line without tabs) the path, names
// exactly `identifier` behind at most a mark.
bool namesExactly(const QString& firstField, const QString& identifier)
{
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    const qsizetype open = firstField.indexOf(QLatin1Char('('));
    QStringList words = (open < 0 ? firstField : firstField.left(open)).split(whitespace, Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size(); ++i)
        if (i > 0 && words[i].startsWith(QLatin1Char('/'))) {
            words.resize(i);
            break;
        }
    if (words.size() == 1)
        return words[0] == identifier;
    return words.size() == 2 && words[0].size() == 1 && words[1] == identifier;
}

} // namespace

std::optional<Registration> parsePluginkitLine(const QString& raw, const QString& bundleIdentifier)
{
    QString line = raw;
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.isEmpty() || holdsControl(line))
        return std::nullopt;
    const QStringList fields = [&] {
        QStringList out;
        for (const QString& f : line.split(QLatin1Char('\t')))
            out.append(f.trimmed());
        return out;
    }();
    if (!namesExactly(fields.first(), bundleIdentifier))
        return std::nullopt;

    Registration r;
    const QChar mark = line.at(0);
    if (mark == QLatin1Char('-'))
        r.election = PluginElection::ignored;
    else if (mark == QLatin1Char('='))
        r.election = PluginElection::superseded;

    const QString& first = fields.first();
    const qsizetype open = first.indexOf(QLatin1Char('('));
    const qsizetype close = first.lastIndexOf(QLatin1Char(')'));
    if (open >= 0 && close > open)
        r.version = first.mid(open + 1, close - open - 1);

    // A bundle path may hold tabs or spaces: it runs from the first field that begins with "/" to the
    // end of the line; a line without tabs has its path from the first "/" on.
    qsizetype pathField = -1;
    for (qsizetype i = 1; i < fields.size(); ++i)
        if (fields[i].startsWith(QLatin1Char('/'))) {
            pathField = i;
            break;
        }
    if (pathField > 0) {
        qsizetype offset = 0;
        for (qsizetype i = 0; i < pathField; ++i)
            offset = line.indexOf(QLatin1Char('\t'), offset) + 1;
        r.path = line.mid(offset).trimmed();
    } else if (line.contains(QLatin1Char('/'))) {
        r.path = line.mid(line.indexOf(QLatin1Char('/'))).trimmed();
    }
    return r;
}

QList<Registration> registrationsIn(const QString& output, const QString& bundleIdentifier)
{
    QList<Registration> entries;
    for (const QString& line : output.split(QLatin1Char('\n')))
        if (line.contains(bundleIdentifier))
            if (auto entry = parsePluginkitLine(line, bundleIdentifier))
                entries.append(*entry);
    return entries;
}

std::optional<Registration> chooseRegistration(
    const QList<Registration>& entries, const std::optional<QString>& embeddedPath)
{
    if (entries.isEmpty())
        return std::nullopt;
    if (embeddedPath)
        for (const Registration& r : entries)
            if (r.path == embeddedPath)
                return r;
    for (const Registration& r : entries)
        if (r.election == PluginElection::active)
            return r;
    return entries.first();
}

bool needsReregistration(const std::optional<Registration>& registered, const std::optional<QString>& embeddedPath,
    const std::optional<QString>& embeddedVersion)
{
    if (!registered || !embeddedPath)
        return false;
    if (!registered->path || *registered->path != *embeddedPath)
        return true;
    // The embedded copy is listed but another one wins: the registry points elsewhere.
    if (registered->election == PluginElection::superseded)
        return true;
    if (!embeddedVersion)
        return false;
    if (!registered->version)
        return true;
    return *registered->version != *embeddedVersion;
}

PluginError::PluginError(Kind kind, QString message)
    : kind_(kind)
    , message_(std::move(message))
    , what_(message_.toStdString())
{
}

PluginError PluginError::commandFailed(const QString& commandLine, qint32 status, const QString& output)
{
    QString message = commandLine.mid(commandLine.lastIndexOf(QLatin1Char('/')) + 1)
        + QStringLiteral(" exited with status ") + QString::number(status);
    const QString trimmed = output.trimmed();
    if (!trimmed.isEmpty())
        message += QStringLiteral(": ") + trimmed;
    return { Kind::commandFailed, message };
}

PluginError PluginError::embeddedExtensionNotFound()
{
    return { Kind::embeddedExtensionNotFound, QStringLiteral("Embedded extension not found in app bundle") };
}

PluginError PluginError::launchFailed(const QString& platformText)
{
    return { Kind::launchFailed, platformText };
}

} // namespace quorvel::app
