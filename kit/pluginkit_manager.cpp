#include "kit/pluginkit_manager.h"

#include "kit/errors.h"
#include "platform/process_runner.h"

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

QList<PluginkitExtension> PluginkitManager::parseListing(const QString& output)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    static const QRegularExpression leadingMark(QStringLiteral("^[+\\-=!?]\\s+"));
    QList<PluginkitExtension> records;
    for (QString line : output.split(lineBreak)) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype open = line.indexOf(QLatin1Char('('));
        const qsizetype close = open < 0 ? -1 : line.indexOf(QLatin1Char(')'), open + 1);
        if (open < 0 || close < 0)
            continue;
        // The election mark before the identifier is not part of it.
        const QString identifier = line.left(open).remove(leadingMark).trimmed();
        const QString version = line.mid(open + 1, close - open - 1);
        const QString rest = line.mid(close + 1).trimmed();
        const QStringList fields = rest.split(whitespace, Qt::SkipEmptyParts);
        if (fields.isEmpty())
            continue;
        // Bundle paths may hold spaces: the path is everything from the first field that starts with "/".
        qsizetype pathStart = -1;
        for (qsizetype i = 0; i < rest.size(); ++i)
            if (rest[i] == QLatin1Char('/') && (i == 0 || rest[i - 1].isSpace())) {
                pathStart = i;
                break;
            }
        if (pathStart < 0)
            continue;
        records.append({ identifier, version, fields.first(), rest.mid(pathStart).trimmed() });
    }
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
