#pragma once
// The fixed lists a recipe is composed from. Keys are labels and wire values at once: they are
// shown, sent to the service and stored in history records byte for byte, so never reword one.

#include <QString>
#include <QStringList>

#include <array>

namespace quorvel::create {

// Drawing variant of the camera motion diagram; one per camera move.
enum class Cue { pan, diagonal, aerial, orbit, zoomIn, zoomOut, parallax, tiltUp, tiltDown, rise, track };

struct Motion {
    QString key;
    Cue cue;
    QString description; // the one line under the diagram
};

struct QualityTier {
    bool lite;
    QString title; // "Lite"
    QString costText; // "1 wumble credit"
    QString blurb; // "fast, dreamy, everyday"
    QString cardText; // "Lite · 1 wumble credit"
    QString debugCardText; // "Lite · Debug"

    // Title, " tier, ", cost text.
    QString accessibilityLabel() const;
    // What the recipe card shows for a submission with this tier.
    QString recipeCardText(bool debugSubmission) const;
};

namespace vocabulary {

inline constexpr int styleCount = 18;
inline constexpr int motionCount = 11;
inline constexpr int vibeCount = 9;
inline constexpr int samplePromptCount = 28;

// Display order, which is also the index space of the random draw.
const QStringList& styles();
const std::array<Motion, motionCount>& motions();
QStringList motionKeys();
const QStringList& vibes();
const QStringList& samplePrompts();

// Exact, case-sensitive lookup; an unknown key (say, from an old history record) reads as "drift".
const Motion& motion(const QString& key);
bool isMotionKey(const QString& key);

// Base (ending in "/") + "styles/" + key + ".png"; plain concatenation, keys need no escaping.
QString styleThumbnailUrl(const QString& key, const QString& cdnBaseUrl);
// The same under the platform's clip CDN base URL.
QString styleThumbnailUrl(const QString& key);
// Key + " style".
QString styleAccessibilityLabel(const QString& key);

// Both tiers, Lite first.
const std::array<QualityTier, 2>& tiers();
const QualityTier& tier(bool lite);
QString tierHint();

// A fresh create screen starts from these before its first random draw.
QString defaultStyle();
QString defaultMotion();
QString defaultVibe();
inline constexpr bool defaultLite = true;

// The user has no control for the soundscape; every submission carries "none".
QString soundscape();
// What the recipe card's "Sound" row reads, whatever the soundscape.
QString soundLabel();

} // namespace vocabulary
} // namespace quorvel::create
