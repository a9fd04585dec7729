#include "app/library/library_item.h"

namespace quorvel::library {

namespace {

void readString(const QJsonObject& entry, const char* key, QString& field)
{
    const QJsonValue value = entry.value(QLatin1String(key));
    if (value.isString())
        field = value.toString();
}

} // namespace

std::optional<LibraryItem> LibraryItem::fromJson(const QJsonObject& entry)
{
    const QJsonValue url = entry.value(QLatin1String("url"));
    if (!url.isString() || url.toString().isEmpty())
        return std::nullopt;
    LibraryItem item;
    item.url = url.toString();
    readString(entry, "author", item.author);
    readString(entry, "date", item.date);
    readString(entry, "title", item.title);
    readString(entry, "prompt", item.prompt);
    readString(entry, "style", item.style);
    readString(entry, "motion", item.motion);
    readString(entry, "vibe", item.vibe);
    readString(entry, "tier", item.tier);
    readString(entry, "soundscape", item.soundscape);
    const QJsonValue approved = entry.value(QLatin1String("approved"));
    if (approved.isBool())
        item.approved = approved.toBool();
    else if (approved.isDouble())
        item.approved = approved.toDouble() != 0.0;
    return item;
}

namespace recipe {

QString capitalizeWords(const QString& text)
{
    QString result;
    result.reserve(text.size());
    bool wordStart = true;
    for (const QChar c : text) {
        if (c == QLatin1Char(' ')) {
            result += c;
            wordStart = true;
            continue;
        }
        result += wordStart ? c.toUpper() : c.toLower();
        wordStart = false;
    }
    return result;
}

QString soundLabel(const QString& soundscape)
{
    return soundscape == QLatin1String("none") ? QStringLiteral("Silent") : soundscape;
}

QString line(const LibraryItem& item)
{
    static const QString separator = QStringLiteral(" \u00B7 ");
    return QStringLiteral("Style: ") + item.style + separator + QStringLiteral("Motion: ") + item.motion + separator
        + QStringLiteral("Vibe: ") + item.vibe + separator + QStringLiteral("Quality: ") + capitalizeWords(item.tier)
        + separator + QStringLiteral("Sound: ") + soundLabel(item.soundscape);
}

QString headerTitle(const LibraryItem& item)
{
    return item.title.isEmpty() ? QStringLiteral("Untitled wumble") : item.title;
}

} // namespace recipe

} // namespace quorvel::library
