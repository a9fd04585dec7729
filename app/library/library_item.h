#pragma once
// One past clip as the history endpoint lists it, and the recipe lines shown for it.

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace quorvel::library {

struct LibraryItem {
    // Identifies the item: two items with equal addresses are the same clip.
    QString url;
    QString author = QStringLiteral("anonymous");
    // Shown as sent.
    QString date;
    QString title;
    QString prompt;
    QString style;
    QString motion;
    QString vibe;
    QString tier;
    QString soundscape = QStringLiteral("none");
    // In the community feed.
    bool approved = false;

    bool operator==(const LibraryItem&) const = default;

    // A missing or wrongly typed field takes its default; an entry without a non-empty string
    // `url` is no item at all. `approved` may be a boolean or any number (read by its truth value).
    static std::optional<LibraryItem> fromJson(const QJsonObject& entry);
};

namespace recipe {
// Each space-separated word with its first letter upper case and the rest lower case.
QString capitalizeWords(const QString& text);
// "Silent" for the soundscape "none", the soundscape itself otherwise.
QString soundLabel(const QString& soundscape);
// "Style: … · Motion: … · Vibe: … · Quality: … · Sound: …" with the tier capitalised.
QString line(const LibraryItem& item);
// The item's title, or "Untitled wumble" when it is empty.
QString headerTitle(const LibraryItem& item);
} // namespace recipe

} // namespace quorvel::library
