#pragma once
// A window of the main group: the application menu, the move card while a move is offered, and
// the main content (the product's name and icon until the main screen takes that place).

#include <QMainWindow>

class QVBoxLayout;

namespace quorvel::app {

class MoveCard;
class QuorvelApp;

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // `app` must outlive the window.
    explicit MainWindow(QuorvelApp& app, QWidget* parent = nullptr);

    // Puts `content` where the main content goes (the window takes ownership).
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }
    MoveCard* moveCard() const { return moveCard_; }

private:
    void buildMenu();
    void showAbout();
    QWidget* brandArea();

    QuorvelApp& app_;
    QVBoxLayout* layout_;
    MoveCard* moveCard_ = nullptr;
    QWidget* content_ = nullptr;
};

} // namespace quorvel::app
