#pragma once
// What the prompt pre-check answered.

#include "app/client/authorized_result.h"

namespace quorvel::app {

struct PromptCheckResult {
    enum class Kind {
        approved,
        rejected,
        // The service is throttling; try once more after `retryDelaySeconds`.
        retryAfter,
        // No verdict; the job's own vetting still applies.
        notChecked,
    };

    Kind kind = Kind::notChecked;
    // For retryAfter: the service's delay, already clamped to 0...30 seconds.
    double retryDelaySeconds = 0;

    bool operator==(const PromptCheckResult&) const = default;
};

// Reads a /vet-prompt outcome and writes its log line (throttled at debug level, not checked at
// error level).
PromptCheckResult interpretPromptCheck(const AuthorizedResult& result);

} // namespace quorvel::app
