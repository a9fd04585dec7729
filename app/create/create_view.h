#pragma once
// The create screen without its widgets: the recipe being composed, the credit balance, the prompt
// pre-check with its one throttled retry, and the start of a generation. One instance per opening
// of the "create" window; every change happens on the main thread.

#include "app/create/random_recipe.h"

#include <QCoroTask>
#include <QDate>
#include <QLocale>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace quorvel::platform {
class MachineIdentity;
class Sleeper;
} // namespace quorvel::platform

namespace quorvel::app {
class AuthStore;
class GenerationStore;
class UserDefaults;
} // namespace quorvel::app

namespace quorvel::create {

namespace createTexts {
inline const QString title = QStringLiteral("Make the good kind.");
inline const QString handleLabel = QStringLiteral("Your handle");
inline const QString handlePlaceholder = QStringLiteral("handle");
inline const QString promptPlaceholder
    = QStringLiteral("Describe it. We'll turn it into something worth leaving on your screen.\nAbout 5 seconds of it.");
inline const QString surpriseMe = QStringLiteral("Surprise me");
inline const QString surpriseMeTooltip = QStringLiteral("Randomize everything");
inline const QString lookHeading = QStringLiteral("How should it look?");
inline const QString fineTune = QStringLiteral("Fine-tune");
inline const QString motionLabel = QStringLiteral("Motion");
inline const QString vibeLabel = QStringLiteral("Vibe");
inline const QString retry = QStringLiteral("Retry");
inline const QString generate = QStringLiteral("Generate");
inline const QString generating = QStringLiteral("Generating…");
inline const QString cancel = QStringLiteral("Cancel");
inline const QString checkingPrompt = QStringLiteral("Checking your prompt…");
inline const QString debugCredits = QStringLiteral("Unlimited wumble credits · Debug mode");
inline const QString seePlans = QStringLiteral("See plans");
inline const QString upgradePlan = QStringLiteral("Upgrade your plan");
inline const QString outOfCreditsTitle = QStringLiteral("You're fresh out of wumble credits");
inline const QString outOfCreditsFree = QStringLiteral(
    "Create refills you with 8 wumble credits a month, from $1.99. The community feed keeps playing free either way.");
inline const QString rejectedTitle = QStringLiteral("Prompt not approved");
inline const QString rejectedMessage
    = QStringLiteral("This prompt isn't appropriate for the all-ages community. Please rewrite it.");
inline const QString ok = QStringLiteral("OK");
inline const QString stillChecking = QStringLiteral("Still checking your last prompt. Try again in a few seconds.");
inline const QString couldNotStart = QStringLiteral("Couldn't start generation.");
inline const QString debugSwitch = QStringLiteral("Debug mode");
inline const QString debugOn = QStringLiteral(
    "Unlimited generations and the debug console are enabled. Your real wumble credits are untouched.");
inline const QString debugOff
    = QStringLiteral("Uses your real wumble credits. Enable for unlimited developer generations.");
} // namespace createTexts

// "1 wumble credit available", "N wumble credits available".
QString creditsAvailableText(qint64 credits);
// The paid out-of-credits body: the refill date is `resets` plus one calendar month, shown as month
// and day in `locale`; "refill monthly" when `resets` is missing or not a "yyyy-MM-dd" day.
QString refillLine(const std::optional<QString>& resets, const QLocale& locale = QLocale());
// Month and day in the order and words of `locale` (no weekday, no year).
QString monthAndDay(const QDate& day, const QLocale& locale);

// What the window host does for the screen.
struct CreateWindowActions {
    std::function<void()> close; // dismiss the "create" window
    std::function<void()> openUpgrade; // open the "upgrade" window
};

// Everything the screen reaches; each must outlive the view.
struct CreateServices {
    app::AuthStore& auth;
    app::GenerationStore& generation;
    app::UserDefaults& defaults; // the standard suite, shared by every window
    const platform::MachineIdentity& identity;
    platform::Sleeper& sleeper;
    RandomIndexSource& random;
    // The developer-access question; true when this machine may use debug mode.
    std::function<QCoro::Task<bool>()> debugAccess;
    CreateWindowActions windows;
};

class CreateView final : public QObject {
    Q_OBJECT
public:
    static inline const QString handleKey = QStringLiteral("wumbleHandle");
    // Beyond the service's delay, so the retry lands after the window it named.
    static constexpr std::chrono::milliseconds retryMargin { 250 };

    enum class CreditLine { checking, debug, credits, seePlans };
    struct PrimaryButton {
        QString label;
        bool isCancel = false;
        bool enabled = false;
    };

    explicit CreateView(CreateServices services, QObject* parent = nullptr);
    // Closing the window: a running pre-check is cancelled and starts nothing afterwards.
    ~CreateView() override;

    // Screen state.
    QString style() const { return style_; }
    QString motion() const { return motion_; }
    QString vibe() const { return vibe_; }
    QString prompt() const { return prompt_; }
    bool lite() const { return lite_; }
    std::optional<QString> userError() const { return userError_; }
    std::optional<qint64> credits() const { return credits_; }
    bool paid() const { return paid_; }
    std::optional<QString> resets() const { return resets_; }
    bool debugAllowed() const { return debugAllowed_; }
    bool checkingPrompt() const { return checkingPrompt_; }
    bool promptRejected() const { return promptRejected_; }

    void setStyle(const QString& key);
    void setMotion(const QString& key);
    void setVibe(const QString& key);
    // Kept exactly as typed (not trimmed); the view does not cut it at the length limit.
    void setPrompt(const QString& text);
    void setLite(bool lite);
    void dismissRejection();

    // Settings.
    QString handle() const;
    void setHandle(const QString& handle);
    bool debugMode() const;
    void setDebugMode(bool on);

    // Derived.
    PrimaryButton primaryButton() const;
    bool promptEditable() const { return !checkingPrompt_; }
    bool surpriseEnabled() const;
    // Characters of the prompt as the length rule counts them: of what is sent, without the white
    // space at its ends.
    qsizetype promptLength() const;
    CreditLine creditLineKind() const;
    // The text of the credit line ("See plans" for the link).
    QString creditLine() const;
    bool showsOutOfCredits() const;
    QString outOfCreditsBody() const;
    QString outOfCreditsButton() const;
    std::optional<QString> enrollmentError() const;
    bool retryEnabled() const;
    QString debugDescription() const;

    // Fills the handle, draws a recipe for an empty prompt, and reads enrollment, balance and debug
    // access. The returned task may be dropped; it ends quietly when the view goes first.
    QCoro::Task<> appear();
    void randomizeEverything();
    // The banner's "Retry".
    QCoro::Task<> retry();
    QCoro::Task<> refreshBalance();
    // The primary button.
    void activatePrimary();
    // Starts the pre-check and then the generation; ignored while a check runs. The returned task
    // may be dropped.
    QCoro::Task<> generate();
    void cancel();
    // "See plans" and the out-of-credits button.
    void openUpgrade();

signals:
    // Any field, setting or derived value may have changed.
    void changed();

private:
    QCoro::Task<> checkAndStart(quint64 checkId);
    bool isCurrentCheck(quint64 checkId) const { return checkingPrompt_ && checkId_ == checkId; }
    void startGeneration();
    void setChecking(bool checking);
    void setUserError(std::optional<QString> error);

    CreateServices services_;
    QString style_;
    QString motion_;
    QString vibe_;
    QString prompt_;
    bool lite_;
    std::optional<QString> userError_;
    std::optional<qint64> credits_;
    bool paid_ = false;
    std::optional<QString> resets_;
    bool debugAllowed_ = false;
    bool checkingPrompt_ = false;
    bool promptRejected_ = false;
    // Identifies the running pre-check; a cancelled one finds it moved on and does nothing more.
    quint64 checkId_ = 0;
};

} // namespace quorvel::create
