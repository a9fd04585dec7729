#pragma once
// How a job looks at a given moment: its log grows through the stages on the service's clock,
// and it only ends well once its clip has actually been rendered.

#include <QString>

namespace quorvel::service {

enum class RenderState { Pending, Done, Failed };

struct JobFacts {
    qint64 elapsedMs = 0; // since the job was accepted
    bool instant = false; // skip the stage delays
    bool refused = false; // the prompt failed vetting
    RenderState render = RenderState::Pending;
    QString renderError; // why the render failed
};

struct JobStatus {
    QString log; // newline-separated lines, newest last
    bool done = false;
    bool ok = false;
};

// Stage offsets from acceptance; the clip is reported no earlier than kFinishedAtMs.
inline constexpr qint64 kVettedAtMs = 1000;
inline constexpr qint64 kKeyframeStartAtMs = 2000;
inline constexpr qint64 kKeyframeReadyAtMs = 3000;
inline constexpr qint64 kAnimatingAtMs = 4000;
inline constexpr qint64 kFinishedAtMs = 5000;

JobStatus jobStatus(const JobFacts& facts);

} // namespace quorvel::service
