#pragma once
// A frame grabber double that counts decodes and answers from the event loop, as the real one does.

#include "platform/frame_grabber.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>

namespace quorvel::testing {

class CountingFrameGrabber final : public platform::FrameGrabber {
public:
    void grabFirstFrame(const QUrl& clip, QObject* context, Done done) override
    {
        ++decodes;
        grabbed << clip.toString();
        QTimer::singleShot(0, context, [clip, done = std::move(done), this] {
            if (clip.toString().contains(QLatin1String("broken"))) {
                done({ {}, QStringLiteral("The clip can't be decoded.") });
                return;
            }
            QImage image(width, width * 9 / 16, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(int(qHash(clip.toString()) % 360), 200, 200));
            done({ image, {} });
        });
    }

    int decodes = 0;
    int width = 640;
    QStringList grabbed;
};

} // namespace quorvel::testing
