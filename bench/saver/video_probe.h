#pragma once
// Watches a module's views from outside: reports once the first video frame has been painted,
// whichever graphics view and video item the module builds (found by type, as they appear).

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace quorvel::bench {

class VideoProbe : public QObject {
    Q_OBJECT
public:
    explicit VideoProbe(std::function<void()> onFirstFramePainted);
    void watch(QWidget* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scan();

    std::function<void()> onFirstFramePainted_;
    QList<QPointer<QWidget>> views_;
    QTimer scanTimer_;
    bool frameArrived_ = false;
    bool reported_ = false;
};

} // namespace quorvel::bench
