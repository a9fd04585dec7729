#pragma once
// The main window's content as widgets: renders a ContentView (onboarding or the main screen; the
// main window shows the move card itself) and forwards every button to it. 460 points wide.

#include <QWidget>

class QAbstractButton;
class QFrame;
class QLabel;
class QNetworkAccessManager;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace quorvel::app {

class ContentView;

class ContentWidget final : public QWidget {
    Q_OBJECT
public:
    static constexpr int contentWidth = 460;

    // Takes ownership of `view`; the logo is fetched through `network`, which must outlive the widget.
    ContentWidget(ContentView* view, QNetworkAccessManager& network, QWidget* parent = nullptr);

    ContentView& view() const { return *view_; }
    // The page on show: "moveCard", "onboarding" or "main".
    QString pageName() const;
    // Whether the logo from the CDN arrived (a drawn placeholder shows until then).
    bool logoLoaded() const { return logoLoaded_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    QWidget* buildOnboarding();
    QWidget* buildMain();
    QWidget* buildHeader(QWidget* parent);
    QWidget* buildBanner(QWidget* parent);
    QWidget* buildActions(QWidget* parent);
    QWidget* buildLatest(QWidget* parent);
    QWidget* buildPlans(QWidget* parent);
    QWidget* buildStatus(QWidget* parent);
    QWidget* buildDaemon(QWidget* parent);
    void loadLogo(QNetworkAccessManager& network);
    void showLogo(const QPixmap& logo);
    void refresh();

    ContentView* view_;
    bool logoLoaded_ = false;
    QStackedWidget* pages_;
    QList<QLabel*> logos_;

    // Onboarding.
    QPushButton* onboardingEnable_;
    QLabel* onboardingCaption_;
    QLabel* onboardingStartLine_;
    QWidget* allSet_;
    QWidget* notYet_;

    // Main screen.
    QFrame* banner_;
    QLabel* bannerText_;
    QPushButton* retry_;
    QPushButton* create_;
    QFrame* latest_;
    QLabel* latestHeading_;
    QWidget* progressRow_;
    QLabel* stage_;
    QWidget* readyRow_;
    QWidget* errorRow_;
    QLabel* errorText_;
    QToolButton* debugToggle_;
    QPlainTextEdit* debugLog_;
    QPushButton* plans_;
    QLabel* plansSubtitle_;
    QLabel* dot_;
    QLabel* status_;
    QLabel* credits_;
    QProgressBar* loading_;
    QPushButton* statusAction_;
    QLabel* startLine_;
    QLabel* pluginError_;
    QLabel* statusMessage_;
    QFrame* daemon_;
    QLabel* daemonHelp_;
    QPushButton* daemonAdd_;
    QLabel* daemonLine_;
    QLabel* daemonMessage_;
};

} // namespace quorvel::app
