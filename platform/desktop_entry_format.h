#pragma once
// The freedesktop desktop entry format: string values with their escapes, and the quoting of the
// arguments of an Exec line.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace quorvel::platform::desktopEntry {

// A string value with the format's escapes (backslash, newline, tab, carriage return).
QString escapeValue(QString value);
// One argument of an Exec line: quoted, the characters that stay special inside quotes escaped, and
// '%' doubled so it is not read as a field code; the result is then escaped as any string value.
QString execArgument(const QString& argument);
// The program an Exec line starts (its first argument, quotes and escapes undone); none when the
// line is empty or its quoting is broken. `exec` is the value as it stands in the file.
std::optional<QString> execProgram(const QString& exec);
// The keys of the "[Desktop Entry]" group and their raw values (escapes left in place); a key
// given twice keeps its first value.
QHash<QString, QString> mainGroup(const QByteArray& text);

} // namespace quorvel::platform::desktopEntry
