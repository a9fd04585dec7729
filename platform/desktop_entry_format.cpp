#include "platform/desktop_entry_format.h"

#include <QStringList>

namespace quorvel::platform::desktopEntry {

namespace {

QString unescapeValue(const QString& value)
{
    QString plain;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            plain += c;
            continue;
        }
        const QChar next = value[++i];
        if (next == QLatin1Char('s'))
            plain += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            plain += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            plain += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            plain += QLatin1Char('\r');
        else
            plain += next;
    }
    return plain;
}

} // namespace

QString escapeValue(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    value.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    value.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return value;
}

QString execArgument(const QString& argument)
{
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    return escapeValue(QLatin1Char('"') + quoted + QLatin1Char('"'));
}

std::optional<QString> execProgram(const QString& exec)
{
    // The string escapes are undone first, then the quoting of the line itself.
    const QString line = unescapeValue(exec).trimmed();
    if (line.isEmpty())
        return std::nullopt;
    QString program;
    if (line.startsWith(QLatin1Char('"'))) {
        qsizetype i = 1;
        for (; i < line.size() && line[i] != QLatin1Char('"'); ++i) {
            if (line[i] == QLatin1Char('\\') && i + 1 < line.size())
                ++i;
            program += line[i];
        }
        if (i == line.size())
            return std::nullopt;
    } else {
        program = line.section(QLatin1Char(' '), 0, 0).section(QLatin1Char('\t'), 0, 0);
    }
    program.replace(QLatin1String("%%"), QLatin1String("%"));
    return program;
}

QHash<QString, QString> mainGroup(const QByteArray& text)
{
    QHash<QString, QString> keys;
    bool inMain = false;
    for (const QString& raw : QString::fromUtf8(text).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inMain || line.startsWith(QLatin1Char('#')) || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!keys.contains(key))
            keys.insert(key, line.mid(equals + 1).trimmed());
    }
    return keys;
}

} // namespace quorvel::platform::desktopEntry
