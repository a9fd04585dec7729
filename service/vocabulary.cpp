#include "service/vocabulary.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace quorvel::service::vocabulary {

const QStringList& styles()
{
    static const QStringList list { "cinematic", "anime", "realistic", "retro", "watercolor", "clay", "synthwave",
        "pixel", "oilpaint", "papercraft", "noir", "vaporwave", "storybook", "ukiyoe", "toon", "risograph",
        "stainedglass", "isometric" };
    return list;
}

const QStringList& motions()
{
    static const QStringList list { "slow pan", "drift", "orbit", "push-in", "aerial glide", "parallax sway",
        "pull back", "tilt up", "tilt down", "crane rise", "sideways track" };
    return list;
}

const QStringList& vibes()
{
    static const QStringList list { "calm", "gentle", "medium", "lively", "wild", "dreamy", "epic", "mysterious",
        "playful" };
    return list;
}

std::pair<QColor, QColor> vibeColors(const QString& vibe)
{
    static const QHash<QString, std::pair<QColor, QColor>> colors {
        { "calm", { QColor(0x2a6f97), QColor(0xa9d6e5) } },
        { "gentle", { QColor(0xb5838d), QColor(0xffcdb2) } },
        { "medium", { QColor(0x588157), QColor(0xdad7cd) } },
        { "lively", { QColor(0xf77f00), QColor(0xfcbf49) } },
        { "wild", { QColor(0xd00000), QColor(0xffba08) } },
        { "dreamy", { QColor(0x7b2cbf), QColor(0xe0aaff) } },
        { "epic", { QColor(0x03045e), QColor(0xe85d04) } },
        { "mysterious", { QColor(0x10002b), QColor(0x3c096c) } },
        { "playful", { QColor(0xff006e), QColor(0x3a86ff) } },
    };
    return colors.value(vibe, { QColor(0x444444), QColor(0x999999) });
}

std::pair<QColor, QColor> styleColors(const QString& style)
{
    static const QHash<QString, std::pair<QColor, QColor>> colors {
        { "cinematic", { QColor(0x14213d), QColor(0xfca311) } },
        { "anime", { QColor(0xff5d8f), QColor(0x97d2fb) } },
        { "realistic", { QColor(0x6b705c), QColor(0xcb997e) } },
        { "retro", { QColor(0xe76f51), QColor(0xe9c46a) } },
        { "watercolor", { QColor(0x90e0ef), QColor(0xffc8dd) } },
        { "clay", { QColor(0xbc6c25), QColor(0xdda15e) } },
        { "synthwave", { QColor(0x240046), QColor(0xff00a0) } },
        { "pixel", { QColor(0x2b9348), QColor(0xaacc00) } },
        { "oilpaint", { QColor(0x7f5539), QColor(0xe6ccb2) } },
        { "papercraft", { QColor(0xf4f1de), QColor(0xe07a5f) } },
        { "noir", { QColor(QRgb(0x000000)), QColor(0xbbbbbb) } },
        { "vaporwave", { QColor(0x01cdfe), QColor(0xff71ce) } },
        { "storybook", { QColor(0x264653), QColor(0xf4a261) } },
        { "ukiyoe", { QColor(0x1d3557), QColor(0xf1faee) } },
        { "toon", { QColor(0xffbe0b), QColor(0xfb5607) } },
        { "risograph", { QColor(0x0077b6), QColor(0xff477e) } },
        { "stainedglass", { QColor(0x5a189a), QColor(0x38b000) } },
        { "isometric", { QColor(0x4361ee), QColor(0x4cc9f0) } },
    };
    return colors.value(style, { QColor(0x444444), QColor(0x999999) });
}

bool isRefused(const QString& text)
{
    static const QSet<QString> refused { "gore", "gory", "blood", "bloody", "nude", "naked", "porn", "kill", "killing",
        "murder", "corpse", "weapon", "gun", "guns", "bomb", "torture" };
    static const QRegularExpression words(QStringLiteral("[\\p{L}\\p{N}]+"));
    auto it = words.globalMatch(text.toLower());
    while (it.hasNext())
        if (refused.contains(it.next().captured()))
            return true;
    return false;
}

} // namespace quorvel::service::vocabulary
