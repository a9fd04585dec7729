#include "app/create/recipe_vocabulary.h"

#include "platform/locations.h"

namespace quorvel::create {

QString QualityTier::accessibilityLabel() const
{
    return title + QStringLiteral(" tier, ") + costText;
}

QString QualityTier::recipeCardText(bool debugSubmission) const
{
    return debugSubmission ? debugCardText : cardText;
}

namespace vocabulary {

const QStringList& styles()
{
    static const QStringList list {
        QStringLiteral("cinematic"),
        QStringLiteral("anime"),
        QStringLiteral("realistic"),
        QStringLiteral("retro"),
        QStringLiteral("watercolor"),
        QStringLiteral("clay"),
        QStringLiteral("synthwave"),
        QStringLiteral("pixel"),
        QStringLiteral("oilpaint"),
        QStringLiteral("papercraft"),
        QStringLiteral("noir"),
        QStringLiteral("vaporwave"),
        QStringLiteral("storybook"),
        QStringLiteral("ukiyoe"),
        QStringLiteral("toon"),
        QStringLiteral("risograph"),
        QStringLiteral("stainedglass"),
        QStringLiteral("isometric"),
    };
    return list;
}

const std::array<Motion, motionCount>& motions()
{
    static const std::array<Motion, motionCount> list { {
        { QStringLiteral("slow pan"), Cue::pan, QStringLiteral("Sweep across the scene") },
        { QStringLiteral("drift"), Cue::diagonal, QStringLiteral("Float gently diagonally") },
        { QStringLiteral("orbit"), Cue::orbit, QStringLiteral("Circle around the subject") },
        { QStringLiteral("push-in"), Cue::zoomIn, QStringLiteral("Move closer to the subject") },
        { QStringLiteral("aerial glide"), Cue::aerial, QStringLiteral("Glide forward from above") },
        { QStringLiteral("parallax sway"), Cue::parallax, QStringLiteral("Layers slide at different speeds") },
        { QStringLiteral("pull back"), Cue::zoomOut, QStringLiteral("Reveal more of the scene") },
        { QStringLiteral("tilt up"), Cue::tiltUp, QStringLiteral("Look upward from one position") },
        { QStringLiteral("tilt down"), Cue::tiltDown, QStringLiteral("Look downward from one position") },
        { QStringLiteral("crane rise"), Cue::rise, QStringLiteral("Lift the camera straight up") },
        { QStringLiteral("sideways track"), Cue::track, QStringLiteral("Track sideways, staying level") },
    } };
    return list;
}

QStringList motionKeys()
{
    QStringList keys;
    for (const Motion& m : motions())
        keys << m.key;
    return keys;
}

const QStringList& vibes()
{
    static const QStringList list {
        QStringLiteral("calm"),
        QStringLiteral("gentle"),
        QStringLiteral("medium"),
        QStringLiteral("lively"),
        QStringLiteral("wild"),
        QStringLiteral("dreamy"),
        QStringLiteral("epic"),
        QStringLiteral("mysterious"),
        QStringLiteral("playful"),
    };
    return list;
}

const QStringList& samplePrompts()
{
    static const QStringList list {
        QStringLiteral("a cloud trapped in a greenhouse, raining on the orchids"),
        QStringLiteral("bioluminescent plankton swirling inside a midnight wave"),
        QStringLiteral("a school of silver fish swirling inside an hourglass"),
        QStringLiteral("clockwork bees pollinating a field of mechanical flowers"),
        QStringLiteral("starlings murmurating above a lavender field at dusk"),
        QStringLiteral("a jellyfish drifting through an abandoned flooded ballroom"),
        QStringLiteral("a miniature rainstorm swirling inside a wine glass"),
        QStringLiteral("snow falling upward off a mountain peak at dawn"),
        QStringLiteral("a sleeping fox curled inside a giant blooming peony"),
        QStringLiteral("steam curling off a teacup into tiny drifting clouds"),
        QStringLiteral("a dandelion reassembling itself from its drifting seeds"),
        QStringLiteral("frost flowers blooming across a frozen window at sunrise"),
        QStringLiteral("an anglerfish drifting past a reef of sunken clocks"),
        QStringLiteral("a mushroom releasing golden spores into a sunbeam"),
        QStringLiteral("origami cranes lifting off a flat sheet of paper"),
        QStringLiteral("mercury droplets rolling across a dark velvet leaf"),
        QStringLiteral("a soap bubble freezing solid on a pine branch"),
        QStringLiteral("clouds pouring over a cliff edge like a waterfall"),
        QStringLiteral("an underwater carousel swaying in a kelp forest"),
        QStringLiteral("smoke curling from a candle into a branching tree"),
        QStringLiteral("milk swirling into black coffee like a storm cloud"),
        QStringLiteral("glowworms lighting a cave like an underground night sky"),
        QStringLiteral("a glassblower's molten orb glowing like a tiny sun"),
        QStringLiteral("paper boats sailing down a flooded marble hallway"),
        QStringLiteral("a night-blooming cactus flower opening under moonlight"),
        QStringLiteral("a field of sunflowers turning to follow the moon"),
        QStringLiteral("a flock of paper planes gliding over a golden wheat field"),
        QStringLiteral("golden honey slowly filling a translucent honeycomb"),
    };
    return list;
}

const Motion& motion(const QString& key)
{
    for (const Motion& m : motions())
        if (m.key == key)
            return m;
    return motions()[1]; // "drift"
}

bool isMotionKey(const QString& key)
{
    for (const Motion& m : motions())
        if (m.key == key)
            return true;
    return false;
}

QString styleThumbnailUrl(const QString& key, const QString& cdnBaseUrl)
{
    return cdnBaseUrl + QStringLiteral("styles/") + key + QStringLiteral(".png");
}

QString styleThumbnailUrl(const QString& key)
{
    return styleThumbnailUrl(key, platform::cdnBaseUrl());
}

QString styleAccessibilityLabel(const QString& key)
{
    return key + QStringLiteral(" style");
}

const std::array<QualityTier, 2>& tiers()
{
    static const std::array<QualityTier, 2> list { {
        { true, QStringLiteral("Lite"), QStringLiteral("1 wumble credit"), QStringLiteral("fast, dreamy, everyday"),
            QStringLiteral("Lite · 1 wumble credit"), QStringLiteral("Lite · Debug") },
        { false, QStringLiteral("Standard"), QStringLiteral("5 wumble credits"), QStringLiteral("maximum fidelity"),
            QStringLiteral("Standard · 5 wumble credits"), QStringLiteral("Standard · Debug") },
    } };
    return list;
}

const QualityTier& tier(bool lite)
{
    return lite ? tiers()[0] : tiers()[1];
}

QString tierHint()
{
    return QStringLiteral("Quality tier applies per generation - switch anytime");
}

QString defaultStyle()
{
    return QStringLiteral("cinematic");
}
QString defaultMotion()
{
    return QStringLiteral("drift");
}
QString defaultVibe()
{
    return QStringLiteral("gentle");
}
QString soundscape()
{
    return QStringLiteral("none");
}
QString soundLabel()
{
    return QStringLiteral("Silent");
}

} // namespace vocabulary
} // namespace quorvel::create
