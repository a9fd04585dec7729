#include "kit/pluginkit_manager.h"

#include "kit/errors.h"
#include "platform/process_runner.h"
#include "platform/registry_tool.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

namespace quorvel::kit {

PluginkitManager::PluginkitManager(std::shared_ptr<platform::ProcessRunner> runner, QString toolPath)
    : runner_(std::move(runner))
    , toolPath_(std::move(toolPath))
{
}

QString bundleBaseName(const QString& bundlePath)
{
    QString path = bundlePath;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return QFileInfo(path).completeBaseName();
}

QCoro::Task<QString> PluginkitManager::runPluginkit(QStringList arguments)
{
    if (toolPath_.isEmpty())
        throw PlatformError(platform::registryToolNotFoundText());
    const platform::ProcessResult result = co_await runner_->run(toolPath_, arguments, std::chrono::seconds(30));
    if (!result.started)
        throw PlatformError(
            result.errorText.isEmpty() ? QStringLiteral("Couldn't start %1").arg(toolPath_) : result.errorText);
    QString output;
    {
        QStringDecoder decoder(QStringDecoder::Utf8);
        output = decoder.decode(result.output);
        if (decoder.hasError())
            output.clear();
    }
    if (result.timedOut)
        throw PluginkitError::commandFailed(
            QStringLiteral("%1 did not finish within 30 seconds and was stopped").arg(toolPath_));
    const bool failed = result.crashed || result.exitCode != 0;
    if (failed && !output.isEmpty() && output.contains(QStringLiteral("error")))
        throw PluginkitError::commandFailed(output);
    co_return output;
}

namespace {

// Tabs separate fields; any other control character, or a line separator, has no place in a line.
bool holdsControl(const QString& line)
{
    for (const QChar c : line)
        if ((c.category() == QChar::Other_Control && c != QLatin1Char('\t')) || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            return true;
    return false;
}

bool holdsSpace(const QString& text)
{
    for (const QChar c : text)
        if (c.isSpace())
            return true;
    return false;
}

// One record from a trimmed line, none when the line is not one.
std::optional<PluginkitExtension> parseLine(const QString& line)
{
    static const QRegularExpression leadingMark(QStringLiteral("^[+\\-=!?]\\s+"));
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    if (line.isEmpty() || holdsControl(line))
        return std::nullopt;
    const qsizetype open = line.indexOf(QLatin1Char('('));
    if (open < 0)
        return std::nullopt;
    // The tool ends the version with the last ")" before the tab that starts the next field, so a
    // version may hold parentheses ("2.0 (beta)"); a line without tabs ends it at the first ")".
    const qsizetype tab = line.indexOf(QLatin1Char('\t'), open + 1);
    const qsizetype close
        = tab >= 0 ? line.lastIndexOf(QLatin1Char(')'), tab) : line.indexOf(QLatin1Char(')'), open + 1);
    if (close <= open)
        return std::nullopt;
    // The election mark before the identifier is not part of it; an identifier is one word.
    const QString identifier = line.left(open).remove(leadingMark).trimmed();
    if (identifier.isEmpty() || holdsSpace(identifier) || identifier.contains(QLatin1Char(')')))
        return std::nullopt;
    const QString version = line.mid(open + 1, close - open - 1);
    // The fields after the version are separated from it: "(1.0)x" is not a listing line.
    if (close + 1 < line.size() && !line.at(close + 1).isSpace())
        return std::nullopt;
    const QString rest = line.mid(close + 1).trimmed();
    const QStringList fields = rest.split(whitespace, Qt::SkipEmptyParts);
    // A UUID first, then (after the date) the path; a line whose first field is the path has no UUID.
    if (fields.size() < 2 || fields.first().startsWith(QLatin1Char('/')))
        return std::nullopt;
    // Bundle paths may hold spaces: the path is everything from the first field that starts with "/".
    qsizetype pathStart = -1;
    for (qsizetype i = 1; i < rest.size(); ++i)
        if (rest[i] == QLatin1Char('/') && rest[i - 1].isSpace()) {
            pathStart = i;
            break;
        }
    if (pathStart < 0)
        return std::nullopt;
    // The tool lists no path with a tab in it: a tab there means a field too many, not a path.
    const QString path = rest.mid(pathStart).trimmed();
    if (path.contains(QLatin1Char('\t')))
        return std::nullopt;
    return PluginkitExtension { identifier, version, fields.first(), path };
}

} // namespace

QList<PluginkitExtension> PluginkitManager::parseListing(const QString& output)
{
    static const QRegularExpression lineBreak(QStringLiteral("\\r\\n|\\n|\\r"));
    QList<PluginkitExtension> records;
    for (const QString& line : output.split(lineBreak))
        if (auto record = parseLine(line.trimmed()))
            records.append(std::move(*record));
    return records;
}

QCoro::Task<QList<PluginkitExtension>> PluginkitManager::discoverScreensaverExtensions()
{
    const QString output = co_await runPluginkit(queryArguments);
    co_return parseListing(output);
}

QCoro::Task<std::optional<PluginkitExtension>> PluginkitManager::findExtension(QString name)
{
    const QList<PluginkitExtension> all = co_await discoverScreensaverExtensions();
    for (const auto& extension : all)
        if (bundleBaseName(extension.path) == name)
            co_return extension;
    co_return std::nullopt;
}

} // namespace quorvel::kit
