#pragma once
// The player view: video in aspect-fill on black, a title and a caption line at the bottom left.
// All state lives in QuorvelPlayback; this widget renders it and turns window events into signals.

#include "extension/quorvel_playback.h"
#include "platform/window_obscurity.h"

#include <QGraphicsView>
#include <QPointer>

class QGraphicsRectItem;
class QGraphicsScene;
class QGraphicsSimpleTextItem;
class QGraphicsVideoItem;
class QWindow;

namespace quorvel::extension {

class QuorvelView : public QGraphicsView {
    Q_OBJECT
public:
    // Starts loading the feed at once. `player` must not be null.
    QuorvelView(std::shared_ptr<ExtensionEnvironment> environment, std::unique_ptr<platform::MediaPlayer> player,
        std::shared_ptr<RetentionMetricsStorage> retentionStorage, const QRect& frame, bool isPreview,
        QWidget* parent = nullptr);
    ~QuorvelView() override;

    void startAnimation();
    void stopAnimation();

    QuorvelPlayback& playback() { return *playback_; }
    // The frames of the two text lines in view coordinates (origin top-left).
    QRectF titleFrame() const;
    QRectF captionFrame() const;
    QString titleText() const;
    QString captionText() const;
    bool isTitleShown() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void drawBackground(QPainter* painter, const QRectF& rect) override;

private:
    void layoutItems();
    void updateTexts();
    void followWindow();
    void updateExposure();
    // A close, deactivation, hide or minimise of the window the view is in.
    void handleWindowEvent(QEvent* event);
    // True when the window the view is in lost activation to another window of this process: the
    // host shows one window per screen, and focus moving among them dismisses nothing.
    bool focusStayedInProcess() const;

    QuorvelPlayback* playback_ = nullptr;
    QGraphicsScene* scene_ = nullptr;
    QGraphicsVideoItem* video_ = nullptr;
    QGraphicsRectItem* titleBox_ = nullptr;
    QGraphicsRectItem* captionBox_ = nullptr;
    QGraphicsSimpleTextItem* title_ = nullptr;
    QGraphicsSimpleTextItem* caption_ = nullptr;
    QPointer<QWidget> observedWindow_;
    // The native window behind it, whose expose events say whether anything of the view can be seen.
    QPointer<QWindow> observedSurface_;
    bool surfaceExposed_ = true;
    // Whether the window lies wholly under others, which expose events do not tell.
    std::unique_ptr<platform::WindowObscurity> obscurity_;
};

} // namespace quorvel::extension
