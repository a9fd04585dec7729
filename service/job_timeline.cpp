#include "service/job_timeline.h"

#include <QStringList>

#include <limits>

namespace quorvel::service {

JobStatus jobStatus(const JobFacts& facts)
{
    const qint64 elapsed = facts.instant ? std::numeric_limits<qint64>::max() : facts.elapsedMs;
    QStringList lines { QStringLiteral("queued: recipe received") };
    JobStatus status;

    if (elapsed >= kVettedAtMs && facts.refused) {
        // The app recognises the upper-case marker and shows its all-ages text.
        lines << QStringLiteral("vetting: INAPPROPRIATE - the prompt was refused by the all-ages filter");
        status.done = true;
    } else {
        if (elapsed >= kVettedAtMs)
            lines << QStringLiteral("vetting: prompt approved");
        if (elapsed >= kKeyframeStartAtMs)
            lines << QStringLiteral("keyframe... composing the scene");
        if (elapsed >= kKeyframeReadyAtMs)
            lines << QStringLiteral("keyframe: ready");
        if (elapsed >= kAnimatingAtMs)
            lines << QStringLiteral("animating... rendering the clip");
        if (elapsed >= kFinishedAtMs && facts.render == RenderState::Done) {
            lines << QStringLiteral("done: clip ready");
            status.done = true;
            status.ok = true;
        } else if (elapsed >= kFinishedAtMs && facts.render == RenderState::Failed) {
            lines << QStringLiteral("Rendering failed: %1").arg(facts.renderError);
            status.done = true;
        }
    }
    status.log = lines.join(QLatin1Char('\n'));
    return status;
}

} // namespace quorvel::service
