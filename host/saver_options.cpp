#include "host/saver_options.h"

namespace quorvel::saver {

QString saverUsage()
{
    return QStringLiteral(
        "Usage: quorvel-saver [--bundle PATH] [--preview | --settings | --window-id ID]\n"
        "       quorvel-saver --agent | --idle-time [SECONDS]\n"
        "  --bundle PATH     the screensaver module (.appex) to run; default: the selected module\n"
        "  --preview         one preview instance in a small window\n"
        "  --settings        the settings pane: preview, the module's options, start after, on or off\n"
        "  --window-id ID    draw into the existing X11 window ID (also XSCREENSAVER_WINDOW; -root is ignored)\n"
        "  --agent           start the screensaver after the idle time without input (one per session)\n"
        "  --idle-time [S]   set the idle time to S seconds (0: never), or print it\n");
}

std::optional<quint64> parseWindowId(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    quint64 id = 0;
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        id = trimmed.mid(2).toULongLong(&ok, 16);
    else
        id = trimmed.toULongLong(&ok, 10);
    if (!ok || id == 0)
        return std::nullopt;
    return id;
}

std::variant<SaverOptions, OptionsError> parseSaverOptions(
    const QStringList& arguments, const QString& saverWindowVariable)
{
    SaverOptions options;
    int modeFlags = 0;
    bool windowGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        // "--name=value" and "--name value" are both accepted for the options with a value.
        QString name = argument;
        std::optional<QString> inlineValue;
        if (const qsizetype eq = argument.indexOf('='); argument.startsWith(QLatin1String("--")) && eq > 0) {
            name = argument.left(eq);
            inlineValue = argument.mid(eq + 1);
        }
        auto value = [&]() -> std::optional<QString> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < arguments.size())
                return arguments.at(++i);
            return std::nullopt;
        };
        if ((name == QLatin1String("--help") || name == QLatin1String("-h")) && !inlineValue) {
            options.help = true;
        } else if (argument == QLatin1String("-root")) {
            // The daemons pass it to their programs; the window still comes from XSCREENSAVER_WINDOW.
        } else if (name == QLatin1String("--agent") && !inlineValue) {
            options.mode = SaverMode::Agent;
            ++modeFlags;
        } else if (name == QLatin1String("--idle-time")) {
            // The value is optional: a following argument that is not an option is taken as it.
            std::optional<QString> text = inlineValue;
            if (!text && i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--")))
                text = arguments.at(++i);
            if (text) {
                bool ok = false;
                options.idleTimeSeconds = text->trimmed().toLongLong(&ok);
                if (!ok)
                    return OptionsError { QStringLiteral("--idle-time needs whole seconds, got \"%1\"").arg(*text) };
            }
            options.mode = SaverMode::IdleTime;
            ++modeFlags;
        } else if (name == QLatin1String("--bundle")) {
            const std::optional<QString> path = value();
            if (!path || path->isEmpty())
                return OptionsError { QStringLiteral("--bundle needs a path") };
            options.bundlePath = *path;
        } else if (name == QLatin1String("--preview") && !inlineValue) {
            options.mode = SaverMode::Preview;
            ++modeFlags;
        } else if (name == QLatin1String("--settings") && !inlineValue) {
            options.mode = SaverMode::Settings;
            ++modeFlags;
        } else if (name == QLatin1String("--window-id")) {
            const std::optional<QString> text = value();
            const std::optional<quint64> id = text ? parseWindowId(*text) : std::nullopt;
            if (!id)
                return OptionsError {
                    QStringLiteral("--window-id needs a window id, got \"%1\"").arg(text.value_or(QString()))
                };
            options.mode = SaverMode::Window;
            options.windowId = *id;
            windowGiven = true;
            ++modeFlags;
        } else {
            return OptionsError { QStringLiteral("unknown option \"%1\"").arg(argument) };
        }
    }
    if (modeFlags > 1)
        return OptionsError { QStringLiteral(
            "--preview, --settings, --window-id, --agent and --idle-time exclude each other") };
    // The daemons' convention: the variable names the window when no mode was asked for.
    if (modeFlags == 0 && !windowGiven && !saverWindowVariable.trimmed().isEmpty()) {
        const std::optional<quint64> id = parseWindowId(saverWindowVariable);
        if (!id)
            return OptionsError {
                QStringLiteral("XSCREENSAVER_WINDOW is not a window id: \"%1\"").arg(saverWindowVariable)
            };
        options.mode = SaverMode::Window;
        options.windowId = *id;
    }
    return options;
}

} // namespace quorvel::saver
