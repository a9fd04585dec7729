#pragma once
// Watches a module's views from outside while its feed plays: for every clip change, what the view
// showed between the last frame of one clip and the first frame of the next. The graphics views
// and video items are found by type as the module builds them; a change is marked by the module's
// own "playing ..." log line, which it writes as it hands the next clip to its player.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>
#include <QWidget>

#include <vector>

class QGraphicsVideoItem;

namespace quorvel::bench {

// Mean luma of a frame's centre under this counts as black.
inline constexpr int kBlackLuma = 20;
bool isBlackFrame(const QVideoFrame& frame);
// Milliseconds of CLOCK_MONOTONIC, comparable across processes of one boot.
double monotonicMs();

struct ClipChange {
    // Arrival of the old clip's last frame to arrival of the new clip's first, and from the
    // change being marked to that first frame.
    double frameToFrameMs = 0;
    double markToFrameMs = 0;
    bool fromCache = false;
};

class ClipChangeProbe : public QObject {
public:
    ClipChangeProbe();
    void watch(QWidget* view);
    // The module asked its player for `url`.
    void markChange(const QString& url);

    const std::vector<ClipChange>& changes() const { return changes_; }
    // Frames handed to the view's sink without a picture while a change was under way.
    int blankFramesDelivered() const { return blankDelivered_; }
    // Repaints of the view while a change was under way whose video item had no picture, or a black one.
    int blankFramesPainted() const { return blankPainted_; }
    int blackFramesPainted() const { return blackPainted_; }
    // New clips whose first frame was black.
    int blackFirstFrames() const { return blackFirst_; }
    int repaintsDuringChanges() const { return repaints_; }
    bool sawVideo() const { return sink_ != nullptr; }
    // When each picture reached the main thread, in milliseconds of the monotonic clock.
    const std::vector<double>& frameArrivalsMs() const { return arrivalsMs_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scan();
    void frameArrived(const QVideoFrame& frame);

    QList<QPointer<QWidget>> views_;
    QTimer scanTimer_;
    QElapsedTimer clock_;
    QPointer<QVideoSink> sink_;
    qint64 lastFrameAt_ = -1;
    qint64 markedAt_ = -1;
    bool awaiting_ = false;
    bool awaitingFromCache_ = false;
    // The picture the view holds while a change is under way, and whether it is black.
    QVideoFrame held_;
    bool heldBlack_ = false;
    std::vector<ClipChange> changes_;
    std::vector<double> arrivalsMs_;
    int blankDelivered_ = 0;
    int blankPainted_ = 0;
    int blackPainted_ = 0;
    int blackFirst_ = 0;
    int repaints_ = 0;
};

} // namespace quorvel::bench
