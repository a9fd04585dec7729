#include "platform/desktop_entries.h"
#include "platform/desktop_entry_format.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace quorvel::platform {

namespace {

using desktopEntry::escapeValue;
using desktopEntry::execArgument;

std::optional<QString> writeWhole(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("Could not create the folder of %1.").arg(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace

XdgDesktopEntries::XdgDesktopEntries(QString dataHome)
    : dataHome_(std::move(dataHome))
{
    if (dataHome_.isEmpty())
        dataHome_ = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome_.isEmpty())
        dataHome_ = QDir::homePath() + QStringLiteral("/.local/share");
}

QByteArray XdgDesktopEntries::entryText(const DesktopEntry& entry)
{
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.5\n");
    text += QStringLiteral("Name=%1\n").arg(escapeValue(entry.name));
    if (!entry.comment.isEmpty())
        text += QStringLiteral("Comment=%1\n").arg(escapeValue(entry.comment));
    text += QStringLiteral("TryExec=%1\n").arg(escapeValue(entry.executablePath));
    text += QStringLiteral("Exec=%1\n").arg(execArgument(entry.executablePath));
    text += QStringLiteral("Icon=%1\n").arg(escapeValue(entry.id));
    text += QStringLiteral("Terminal=false\nCategories=Graphics;Video;\n");
    return text.toUtf8();
}

std::optional<QString> XdgDesktopEntries::install(const DesktopEntry& entry)
{
    // The id becomes a file name: nothing that could leave the folder.
    if (entry.id.isEmpty() || entry.id.contains(QLatin1Char('/')) || entry.id.startsWith(QLatin1Char('.')))
        return QStringLiteral("The desktop entry id \"%1\" is not a file name.").arg(entry.id);
    if (!entry.iconPath.isEmpty()) {
        QFile icon(entry.iconPath);
        if (!icon.open(QIODevice::ReadOnly))
            return QStringLiteral("Could not read the icon %1: %2").arg(entry.iconPath, icon.errorString());
        const QString size = QString::number(entry.iconSize);
        const QString target = QStringLiteral("%1/icons/hicolor/%2x%2/apps/%3.png").arg(dataHome_, size, entry.id);
        if (auto failure = writeWhole(target, icon.readAll()))
            return failure;
    }
    return writeWhole(QStringLiteral("%1/applications/%2.desktop").arg(dataHome_, entry.id), entryText(entry));
}

} // namespace quorvel::platform
