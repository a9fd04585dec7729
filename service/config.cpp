#include "service/config.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QUrl>

namespace quorvel::service {

std::variant<ServiceConfig, QString> parseArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quorvel's local reference web service."));
    parser.addHelpOption();
    const QCommandLineOption data(
        QStringLiteral("data"), QStringLiteral("Directory for the database, clips and images."), QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"),
        QStringLiteral("Port on 127.0.0.1; 0 picks a free one and prints it first."), QStringLiteral("N"),
        QStringLiteral("0"));
    const QCommandLineOption instant(
        QStringLiteral("instant"), QStringLiteral("Jobs are done as soon as their clip is rendered."));
    const QCommandLineOption debugMachine(QStringLiteral("debug-machine"),
        QStringLiteral("The developer machine value (64 hex digits)."), QStringLiteral("HEX"));
    const QCommandLineOption debugToken(
        QStringLiteral("debug-token"), QStringLiteral("The developer token."), QStringLiteral("TOKEN"));
    const QCommandLineOption minBuild(
        QStringLiteral("min-build"), QStringLiteral("Oldest app build allowed to generate."), QStringLiteral("N"));
    const QCommandLineOption freeCredits(QStringLiteral("free-credits"),
        QStringLiteral("Credits of a newly enrolled machine."), QStringLiteral("N"),
        QString::number(kDefaultFreeCredits));
    const QCommandLineOption publicUrl(
        QStringLiteral("public-url"), QStringLiteral("Origin that replies point at."), QStringLiteral("URL"));
    const QCommandLineOption location(QStringLiteral("location"), QStringLiteral("Place shown with feed clips."),
        QStringLiteral("TEXT"), QStringLiteral("Localhost"));
    const QCommandLineOption release(QStringLiteral("release"),
        QStringLiteral("An appcast entry, BUILD=VERSION (repeatable)."), QStringLiteral("BUILD=VERSION"));
    const QCommandLineOption ffmpeg(QStringLiteral("ffmpeg"), QStringLiteral("Renderer executable (tests only)."),
        QStringLiteral("PATH"), QStringLiteral("/usr/bin/ffmpeg"));
    parser.addOptions(
        { data, port, instant, debugMachine, debugToken, minBuild, freeCredits, publicUrl, location, release, ffmpeg });
    if (!parser.parse(arguments))
        return parser.errorText();
    if (parser.isSet(QStringLiteral("help")))
        return parser.helpText();

    ServiceConfig config;
    config.dataDir = parser.value(data);
    if (config.dataDir.isEmpty())
        return QStringLiteral("--data DIR is required.");
    bool ok = false;
    const uint portValue = parser.value(port).toUInt(&ok);
    if (!ok || portValue > 65535)
        return QStringLiteral("--port must be a number from 0 to 65535.");
    config.port = static_cast<quint16>(portValue);
    config.instant = parser.isSet(instant);
    config.debugMachine = parser.value(debugMachine);
    config.debugToken = parser.value(debugToken);
    if (config.debugMachine.isEmpty() != config.debugToken.isEmpty())
        return QStringLiteral("--debug-machine and --debug-token go together.");
    if (parser.isSet(minBuild)) {
        const int value = parser.value(minBuild).toInt(&ok);
        if (!ok || value < 0)
            return QStringLiteral("--min-build must be a whole number.");
        config.minBuild = value;
    }
    config.freeCredits = parser.value(freeCredits).toInt(&ok);
    if (!ok || config.freeCredits < 0)
        return QStringLiteral("--free-credits must be a whole number.");
    config.publicUrl = parser.value(publicUrl);
    while (config.publicUrl.endsWith(QLatin1Char('/')))
        config.publicUrl.chop(1);
    if (!config.publicUrl.isEmpty() && !QUrl(config.publicUrl, QUrl::StrictMode).isValid())
        return QStringLiteral("--public-url must be a URL.");
    config.location = parser.value(location);
    if (parser.isSet(release)) {
        config.releases.clear();
        static const QRegularExpression pattern(QStringLiteral("^(\\d+)=([0-9A-Za-z.+-]+)$"));
        for (const QString& entry : parser.values(release)) {
            const auto match = pattern.match(entry);
            if (!match.hasMatch())
                return QStringLiteral("--release must look like 2=1.0.1.");
            config.releases.append({ match.captured(1).toInt(), match.captured(2) });
        }
    }
    config.ffmpegPath = parser.value(ffmpeg);
    return config;
}

} // namespace quorvel::service
