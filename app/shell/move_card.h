#pragma once
// The card that offers the move into the applications folder, and the question before an older
// copy there is replaced. Renders an AppLocationManager and forwards the buttons to it.

#include <QFrame>

class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace quorvel::app {

class AppLocationManager;

namespace texts {
inline const QString moveCardTitle = QStringLiteral("One quick step before installing");
inline const QString moveCardText
    = QStringLiteral("Quorvel needs to be in your Applications folder so its screensaver stays installed.");
inline const QString moving = QStringLiteral("Moving Quorvel…");
inline const QString moveButton = QStringLiteral("Move to Applications & Relaunch");
inline const QString openApplicationsFolder = QStringLiteral("Open Applications Folder");
inline const QString replaceTitle = QStringLiteral("Replace the copy in Applications?");
inline const QString replaceMessage = QStringLiteral("Quorvel is already in Applications. Replace it with this copy?");
inline const QString replaceButton = QStringLiteral("Replace & Relaunch");
} // namespace texts

class MoveCard final : public QFrame {
    Q_OBJECT
public:
    // `manager` must outlive the card.
    explicit MoveCard(AppLocationManager& manager, QWidget* parent = nullptr);

    // The replacement question while it is open, else null.
    QMessageBox* replacementAlert() const { return alert_; }

private:
    void refresh();
    void askReplacement();

    AppLocationManager& manager_;
    QProgressBar* progress_;
    QLabel* movingLabel_;
    QPushButton* moveButton_;
    QLabel* fallback_;
    QPushButton* openFolder_;
    QMessageBox* alert_ = nullptr;
};

} // namespace quorvel::app
