#include "host/module_election.h"

#include "kit/pluginkit_manager.h"
#include "platform/log.h"
#include "platform/operating_system.h"
#include "platform/process_runner.h"
#include "platform/registry_tool.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace quorvel::saver {
namespace {

QString toolFailure(const QString& toolPath, const platform::ProcessResult& result, const QString& output)
{
    if (!result.started || result.timedOut || result.crashed)
        return result.errorText;
    QString text
        = QFileInfo(toolPath).fileName() + QStringLiteral(" exited with status ") + QString::number(result.exitCode);
    if (const QString trimmed = output.trimmed(); !trimmed.isEmpty())
        text += QStringLiteral(": ") + trimmed;
    return text;
}

QString decoded(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

QString normalised(const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

ModuleElections::ModuleElections(std::shared_ptr<platform::ProcessRunner> runner, QString toolPath)
    : runner_(std::move(runner))
    , toolPath_(std::move(toolPath))
{
}

QCoro::Task<ElectionReading> ModuleElections::election(QString identifier, QString bundlePath) const
{
    if (toolPath_.isEmpty())
        co_return ElectionReading { std::nullopt, platform::registryToolNotFoundText() };
    const QStringList arguments { QStringLiteral("-m"), QStringLiteral("-A"), QStringLiteral("-D"),
        QStringLiteral("-v"), QStringLiteral("-i"), identifier };
    const platform::ProcessResult result = co_await runner_->run(toolPath_, arguments, std::chrono::seconds(30));
    const QString output = decoded(result.output);
    if (!result.succeeded())
        co_return ElectionReading { std::nullopt, toolFailure(toolPath_, result, output) };

    struct Entry {
        QString path;
        QChar mark;
    };
    std::optional<Entry> atPath, inUse, first;
    const QString wanted = normalised(bundlePath);
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        const QList<kit::PluginkitExtension> records = kit::PluginkitManager::parseListing(line);
        if (records.size() != 1 || records.first().bundleIdentifier != identifier)
            continue;
        const Entry entry { records.first().path, line.at(0) };
        if (!first)
            first = entry;
        if (!inUse && entry.mark != QLatin1Char('-') && entry.mark != QLatin1Char('='))
            inUse = entry;
        if (!atPath && !wanted.isEmpty() && normalised(entry.path) == wanted)
            atPath = entry;
    }
    const std::optional<Entry> chosen = atPath ? atPath : inUse ? inUse : first;
    if (!chosen)
        co_return ElectionReading { Election::notRegistered, {} };
    co_return ElectionReading { chosen->mark == QLatin1Char('-') ? Election::off : Election::on, {} };
}

QCoro::Task<std::optional<QString>> ModuleElections::elect(QString identifier, bool on) const
{
    if (toolPath_.isEmpty())
        co_return platform::registryToolNotFoundText();
    const QStringList arguments { QStringLiteral("-e"), on ? QStringLiteral("use") : QStringLiteral("ignore"),
        QStringLiteral("-i"), identifier };
    const platform::ProcessResult result = co_await runner_->run(toolPath_, arguments, std::chrono::seconds(30));
    if (result.succeeded())
        co_return std::nullopt;
    co_return toolFailure(toolPath_, result, decoded(result.output));
}

std::unique_ptr<ModuleElections> makeSystemModuleElections()
{
    const platform::LinuxOperatingSystem system;
    return std::make_unique<ModuleElections>(std::make_shared<platform::QProcessRunner>(),
        platform::locateRegistryTool(platform::registryToolSearch(system)).value_or(QString()));
}

std::optional<QString> turnedOffIdentifier(const ModuleElections& elections, const QString& bundlePath)
{
    const platform::LinuxOperatingSystem system;
    const std::optional<platform::BundleInfo> bundle = system.bundle(bundlePath);
    if (!bundle || bundle->identifier.isEmpty())
        return std::nullopt;
    const ElectionReading reading = QCoro::waitFor(elections.election(bundle->identifier, bundlePath));
    if (!reading.election) {
        platform::log::error(platform::LogCategory::Host,
            QStringLiteral("the registry could not say whether %1 is turned on: %2")
                .arg(bundle->identifier, reading.error));
        return std::nullopt;
    }
    if (*reading.election != Election::off)
        return std::nullopt;
    return bundle->identifier;
}

LoadResult loadUnlessTurnedOff(const ModuleElections& elections, const QString& bundlePath)
{
    if (const std::optional<QString> identifier = turnedOffIdentifier(elections, bundlePath))
        return LoadError { LoadError::Kind::TurnedOff, *identifier };
    return loadSaverModule(bundlePath);
}

} // namespace quorvel::saver
