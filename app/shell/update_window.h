#pragma once
// The small window that answers "Check for Updates…".

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quorvel::app {

class UpdateCheckModel;

class UpdateWindow final : public QWidget {
    Q_OBJECT
public:
    static inline const QString windowTitleText = QStringLiteral("Software Update");

    // `model` must outlive the window.
    explicit UpdateWindow(UpdateCheckModel& model, QWidget* parent = nullptr);

private:
    void refresh();

    UpdateCheckModel& model_;
    QLabel* headline_;
    QLabel* detail_;
    QProgressBar* progress_;
    QPushButton* download_;
    QPushButton* done_;
};

} // namespace quorvel::app
