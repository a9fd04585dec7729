#pragma once
// The screensaver view's rendering path in miniature, for measurements: a black QGraphicsView with
// an aspect-fill video item fed by a QtMediaPlayer, plus a probe on the frames that reach it.

#include "platform/linux/media_player_qt.h"

#include <QElapsedTimer>
#include <QGraphicsScene>
#include <QGraphicsVideoItem>
#include <QGraphicsView>
#include <QObject>

#include <functional>

namespace quorvel::bench {

class PlayerStage : public QObject {
    Q_OBJECT
public:
    explicit PlayerStage(QSize size);

    platform::QtMediaPlayer& player() { return player_; }
    QGraphicsView& view() { return view_; }
    // Called after the viewport has painted with the first frame of the current item.
    std::function<void()> onFirstFramePainted;
    // Called for every frame that reaches the item: valid or not, and, while a new item is awaited,
    // whether it is (nearly) black. Unset, no frame is inspected (the check costs a conversion).
    std::function<void(bool valid, bool black)> onFrame;
    // Arms the first-frame detection for the next item.
    void expectNewItem();
    // Mean luma of a frame's centre under this counts as black.
    static constexpr int kBlackLuma = 20;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void frameArrived(const QVideoFrame& frame);

    QGraphicsScene scene_;
    QGraphicsView view_;
    QGraphicsVideoItem item_;
    platform::QtMediaPlayer player_;
    bool waitingForFirst_ = true;
    bool firstArrived_ = false;
};

// Resident set size of this process in kilobytes (VmRSS), and its peak (VmHWM).
long residentKilobytes();
long peakResidentKilobytes();

} // namespace quorvel::bench
