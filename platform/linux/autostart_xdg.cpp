#include "platform/autostart.h"
#include "platform/desktop_entry_format.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace quorvel::platform {

using desktopEntry::escapeValue;
using desktopEntry::execArgument;

XdgAutostart::XdgAutostart(QString configHome)
    : configHome_(std::move(configHome))
{
    if (configHome_.isEmpty())
        configHome_ = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome_.isEmpty())
        configHome_ = QDir::homePath() + QStringLiteral("/.config");
}

QString XdgAutostart::entryPath(const QString& id) const
{
    return QStringLiteral("%1/autostart/%2.desktop").arg(configHome_, id);
}

QByteArray XdgAutostart::entryText(const AutostartEntry& entry)
{
    QStringList exec { execArgument(entry.program) };
    for (const QString& argument : entry.arguments)
        exec << execArgument(argument);
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QStringLiteral("Name=%1\n").arg(escapeValue(entry.name));
    if (!entry.comment.isEmpty())
        text += QStringLiteral("Comment=%1\n").arg(escapeValue(entry.comment));
    text += QStringLiteral("TryExec=%1\n").arg(escapeValue(entry.program));
    text += QStringLiteral("Exec=%1\n").arg(exec.join(QLatin1Char(' ')));
    text += QStringLiteral("Terminal=false\nNoDisplay=true\n");
    // Hidden makes every desktop skip the entry; the second key is the one GNOME's own tools switch.
    if (!entry.enabled)
        text += QStringLiteral("Hidden=true\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=%1\n")
                .arg(entry.enabled ? QStringLiteral("true") : QStringLiteral("false"));
    return text.toUtf8();
}

AutostartState XdgAutostart::parse(const QByteArray& text)
{
    const QHash<QString, QString> keys = desktopEntry::mainGroup(text);
    AutostartState state;
    if (keys.contains(QStringLiteral("Exec")))
        state.program = desktopEntry::execProgram(keys.value(QStringLiteral("Exec")));
    state.enabled = keys.value(QStringLiteral("Hidden")) != QLatin1String("true")
        && keys.value(QStringLiteral("X-GNOME-Autostart-enabled")) != QLatin1String("false");
    return state;
}

std::optional<AutostartState> XdgAutostart::read(const QString& id) const
{
    QFile file(entryPath(id));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse(file.readAll());
}

std::optional<QString> XdgAutostart::write(const AutostartEntry& entry)
{
    // The id becomes a file name: nothing that could leave the folder.
    if (entry.id.isEmpty() || entry.id.contains(QLatin1Char('/')) || entry.id.startsWith(QLatin1Char('.')))
        return QStringLiteral("The autostart entry id \"%1\" is not a file name.").arg(entry.id);
    const QString path = entryPath(entry.id);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("Could not create the folder of %1.").arg(path);
    const QByteArray bytes = entryText(entry);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace quorvel::platform
