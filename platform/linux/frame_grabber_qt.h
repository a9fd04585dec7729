#pragma once
// First frames through Qt Multimedia: a silent player that stops at the first valid frame.

#include "platform/frame_grabber.h"

#include <chrono>

namespace quorvel::platform {

class QtFrameGrabber final : public FrameGrabber {
public:
    // A clip that shows no frame within `timeout` (a stalled stream, say) is reported as failed.
    explicit QtFrameGrabber(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void grabFirstFrame(const QUrl& clip, QObject* context, Done done) override;

private:
    std::chrono::milliseconds timeout_;
};

} // namespace quorvel::platform
