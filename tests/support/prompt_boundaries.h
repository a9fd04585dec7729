#pragma once
// Prompts at the edges of the one length rule that the app and the service both apply: at most
// 2000 characters as a person counts them (after trimming white space at both ends), and at most
// 32 KiB in UTF-8. Both sides run the same rows, so they cannot drift apart.

#include <QString>

#include <vector>

namespace quorvel::testing {

struct PromptBoundary {
    const char* name;
    QString prompt;
    bool accepted;
    // Refused for its bytes, not its characters: the reason names accents and emoji.
    bool tooLarge = false;
};

inline std::vector<PromptBoundary> promptBoundaries()
{
    const QString wave = QStringLiteral("\U0001F30A"); // two UTF-16 units
    const QString accented = QStringLiteral("e\u0301"); // a letter and a combining mark
    const QString flag = QStringLiteral("\U0001F1EB\U0001F1F7"); // two regional indicators
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"); // 18 bytes of UTF-8
    return {
        { "2000 letters", QString(2000, QLatin1Char('a')), true },
        { "2001 letters", QString(2001, QLatin1Char('a')), false },
        { "white space at the ends does not count", QStringLiteral(" \n") + wave.repeated(2000) + QStringLiteral("\t "),
            true },
        { "2000 emoji", wave.repeated(2000), true },
        { "2001 emoji", wave.repeated(2001), false },
        { "2000 accented letters", accented.repeated(2000), true },
        { "2001 accented letters", accented.repeated(2001), false },
        { "2000 flags", flag.repeated(2000), true },
        { "2001 flags", flag.repeated(2001), false },
        { "1999 letters and a flag", QString(1999, QLatin1Char('a')) + flag, true },
        { "1000 joined emoji", family.repeated(1000), true },
        { "2000 joined emoji are past the byte bound", family.repeated(2000), false, true },
        { "one character of 32767 bytes", QStringLiteral("a") + QString(16383, QChar(0x0301)), true },
        { "one character of 32769 bytes", QStringLiteral("a") + QString(16384, QChar(0x0301)), false, true },
    };
}

} // namespace quorvel::testing
