#include "app/create/create_view.h"

#include "app/client/auth_store.h"
#include "app/client/balance_reply.h"
#include "app/client/generation_store.h"
#include "app/client/service_json.h"
#include "app/client/user_defaults.h"
#include "app/create/recipe_vocabulary.h"
#include "platform/clock.h"
#include "platform/machine_identity.h"

#include <QDateTime>
#include <QPointer>
#include <QTimeZone>

#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <memory>

namespace quorvel::create {

QString creditsAvailableText(qint64 credits)
{
    return app::creditCountText(credits) + QStringLiteral(" available");
}

QString monthAndDay(const QDate& day, const QLocale& locale)
{
    // The locale's own pattern for the "MMMMd" skeleton keeps its order, words and particles
    // ("March 5", "5 de marzo", "3월 5일"); the Gregorian calendar is the one the service counts in.
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale where(locale.name().toLatin1().constData());
    where.setKeywordValue("calendar", "gregorian", status);
    const std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(where, status));
    const icu::UnicodeString pattern
        = U_SUCCESS(status) ? generator->getBestPattern(icu::UnicodeString("MMMMd"), status) : icu::UnicodeString();
    icu::SimpleDateFormat format(U_SUCCESS(status) ? pattern : icu::UnicodeString("MMMM d"), where, status);
    if (U_FAILURE(status))
        return locale.toString(day, QStringLiteral("MMMM d"));
    // The day is a calendar day: formatted at noon in UTC, no time zone can move it.
    format.setTimeZone(*icu::TimeZone::getGMT());
    const UDate noon = UDate(QDateTime(day, QTime(12, 0), QTimeZone::utc()).toMSecsSinceEpoch());
    icu::UnicodeString text;
    format.format(noon, text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QString refillLine(const std::optional<QString>& resets, const QLocale& locale)
{
    QString refill = QStringLiteral("refill monthly");
    if (resets) {
        const QDate reset = QLocale::c().toDate(*resets, QStringLiteral("yyyy-MM-dd"));
        if (reset.isValid())
            refill = QStringLiteral("refill on ") + monthAndDay(reset.addMonths(1), locale);
    }
    return QStringLiteral("Your 8 wumble credits ") + refill
        + QStringLiteral(". The community feed keeps playing free while you wait.");
}

CreateView::CreateView(CreateServices services, QObject* parent)
    : QObject(parent)
    , services_(std::move(services))
    , style_(vocabulary::defaultStyle())
    , motion_(vocabulary::defaultMotion())
    , vibe_(vocabulary::defaultVibe())
    , lite_(vocabulary::defaultLite)
{
    connect(&services_.generation, &app::GenerationStore::isRunningChanged, this, &CreateView::changed);
    connect(&services_.auth, &app::AuthStore::enrollmentErrorChanged, this, &CreateView::changed);
    connect(&services_.auth, &app::AuthStore::enrollingChanged, this, &CreateView::changed);
    // The main window's debug check may turn debug mode off while this screen shows it.
    connect(&services_.defaults, &app::UserDefaults::valueChanged, this, &CreateView::changed);
}

CreateView::~CreateView()
{
    ++checkId_;
}

void CreateView::setStyle(const QString& key)
{
    if (style_ == key || !vocabulary::styles().contains(key))
        return;
    style_ = key;
    emit changed();
}

void CreateView::setMotion(const QString& key)
{
    if (motion_ == key || !vocabulary::isMotionKey(key))
        return;
    motion_ = key;
    emit changed();
}

void CreateView::setVibe(const QString& key)
{
    if (vibe_ == key || !vocabulary::vibes().contains(key))
        return;
    vibe_ = key;
    emit changed();
}

void CreateView::setPrompt(const QString& text)
{
    if (prompt_ == text)
        return;
    prompt_ = text;
    emit changed();
}

void CreateView::setLite(bool lite)
{
    if (lite_ == lite)
        return;
    lite_ = lite;
    emit changed();
}

void CreateView::dismissRejection()
{
    if (!promptRejected_)
        return;
    promptRejected_ = false;
    emit changed();
}

QString CreateView::handle() const
{
    const QVariant value = services_.defaults.value(handleKey);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

void CreateView::setHandle(const QString& handle)
{
    if (this->handle() == handle && services_.defaults.value(handleKey).isValid())
        return;
    services_.defaults.setValue(handleKey, handle);
    services_.defaults.synchronize();
}

bool CreateView::debugMode() const
{
    return app::defaults::debugMode(services_.defaults);
}

void CreateView::setDebugMode(bool on)
{
    if (debugMode() == on)
        return;
    app::defaults::setDebugMode(services_.defaults, on);
}

CreateView::PrimaryButton CreateView::primaryButton() const
{
    if (checkingPrompt_)
        return { createTexts::cancel, true, true };
    if (services_.generation.isRunning())
        return { createTexts::generating, false, false };
    return { createTexts::generate, false, !prompt_.trimmed().isEmpty() };
}

bool CreateView::surpriseEnabled() const
{
    return !services_.generation.isRunning() && !checkingPrompt_;
}

qsizetype CreateView::promptLength() const
{
    return app::GenerationStore::userCharacterCount(prompt_.trimmed());
}

CreateView::CreditLine CreateView::creditLineKind() const
{
    if (checkingPrompt_)
        return CreditLine::checking;
    if (debugMode())
        return CreditLine::debug;
    if (credits_)
        return CreditLine::credits;
    return CreditLine::seePlans;
}

QString CreateView::creditLine() const
{
    switch (creditLineKind()) {
    case CreditLine::checking:
        return createTexts::checkingPrompt;
    case CreditLine::debug:
        return createTexts::debugCredits;
    case CreditLine::credits:
        return creditsAvailableText(*credits_);
    case CreditLine::seePlans:
        break;
    }
    return createTexts::seePlans;
}

bool CreateView::showsOutOfCredits() const
{
    return !debugMode() && credits_ == 0;
}

QString CreateView::outOfCreditsBody() const
{
    return paid_ ? refillLine(resets_) : createTexts::outOfCreditsFree;
}

QString CreateView::outOfCreditsButton() const
{
    return paid_ ? createTexts::upgradePlan : createTexts::seePlans;
}

std::optional<QString> CreateView::enrollmentError() const
{
    return services_.auth.enrollmentError();
}

bool CreateView::retryEnabled() const
{
    return !services_.auth.enrolling();
}

QString CreateView::debugDescription() const
{
    return debugMode() ? createTexts::debugOn : createTexts::debugOff;
}

QCoro::Task<> CreateView::appear()
{
    QPointer<CreateView> self(this);
    if (handle().isEmpty())
        setHandle(services_.identity.shortUserName());
    if (prompt_.isEmpty())
        randomizeEverything();

    co_await services_.auth.ensureEnrolled();
    if (!self)
        co_return;
    co_await refreshBalance();
    if (!self)
        co_return;
    const bool allowed = co_await services_.debugAccess();
    if (!self)
        co_return;
    debugAllowed_ = allowed;
    emit changed();
}

void CreateView::randomizeEverything()
{
    const RandomRecipe recipe = drawRandomRecipe(services_.random);
    style_ = recipe.style;
    motion_ = recipe.motion;
    vibe_ = recipe.vibe;
    prompt_ = recipe.prompt;
    userError_.reset();
    emit changed();
}

QCoro::Task<> CreateView::retry()
{
    services_.auth.setEnrollmentError(std::nullopt);
    co_await refreshBalance();
}

QCoro::Task<> CreateView::refreshBalance()
{
    QPointer<CreateView> self(this);
    app::AuthStore& auth = services_.auth;
    if (!co_await auth.ensureEnrolled())
        co_return;
    const app::AuthorizedResult result = co_await auth.balance();
    if (const std::optional<QString> failure = result.failure()) {
        auth.setEnrollmentError(*failure);
        co_return;
    }
    // An outdated build learns it here, not only when a generation is refused.
    if (result.isResponse()) {
        if (const std::optional<QString> update = app::AuthStore::updateRequiredMessage(
                result.status(), app::json::object(result.body()).value_or(QJsonObject()))) {
            auth.setEnrollmentError(*update);
            co_return;
        }
    }
    if (!self)
        co_return;
    if (const std::optional<app::BalanceReply> reply = app::readBalance(result)) {
        credits_ = reply->credits;
        paid_ = reply->paid;
        resets_ = reply->resets;
        emit changed();
    }
}

void CreateView::activatePrimary()
{
    const PrimaryButton button = primaryButton();
    if (!button.enabled)
        return;
    if (button.isCancel) {
        cancel();
        return;
    }
    QCoro::Task<> task = generate();
    Q_UNUSED(task);
}

QCoro::Task<> CreateView::generate()
{
    if (checkingPrompt_)
        co_return;
    setUserError(std::nullopt);
    const quint64 id = ++checkId_;
    setChecking(true);
    co_await checkAndStart(id);
}

QCoro::Task<> CreateView::checkAndStart(quint64 checkId)
{
    QPointer<CreateView> self(this);
    // The store outlives every window; the view may not.
    app::AuthStore& auth = services_.auth;
    const app::PromptCheckRequest request { prompt_, style_, motion_, vibe_, auth.machineIdentifier() };

    app::PromptCheckResult outcome = co_await auth.vetPrompt(request);
    if (!self || !isCurrentCheck(checkId))
        co_return;
    if (outcome.kind == app::PromptCheckResult::Kind::retryAfter) {
        const auto wait = std::chrono::milliseconds(qRound64(outcome.retryDelaySeconds * 1000)) + retryMargin;
        platform::Sleeper& sleeper = services_.sleeper;
        const bool slept = co_await sleeper.sleep(wait);
        if (!self || !isCurrentCheck(checkId))
            co_return;
        if (!slept) {
            setChecking(false);
            co_return;
        }
        outcome = co_await auth.vetPrompt(request);
        if (!self || !isCurrentCheck(checkId))
            co_return;
        if (outcome.kind == app::PromptCheckResult::Kind::retryAfter) {
            setUserError(createTexts::stillChecking);
            setChecking(false);
            co_return;
        }
    }
    if (outcome.kind == app::PromptCheckResult::Kind::rejected) {
        promptRejected_ = true;
        setChecking(false);
        co_return;
    }
    setChecking(false);
    startGeneration();
}

void CreateView::startGeneration()
{
    QString handle = this->handle();
    if (handle.isEmpty())
        handle = services_.identity.shortUserName();
    const app::GenerationSubmission submission { prompt_, style_, motion_, vibe_, lite_, vocabulary::soundscape(),
        handle, services_.auth.machineIdentifier(), debugMode() };
    if (services_.generation.start(submission)) {
        if (services_.windows.close)
            services_.windows.close();
        return;
    }
    setUserError(services_.generation.error().value_or(createTexts::couldNotStart));
}

void CreateView::cancel()
{
    if (!checkingPrompt_)
        return;
    // A wait on the service's throttle may run for half a minute; the screen is free again at once
    // and the abandoned check finds itself superseded when it wakes.
    ++checkId_;
    setChecking(false);
}

void CreateView::openUpgrade()
{
    if (services_.windows.openUpgrade)
        services_.windows.openUpgrade();
}

void CreateView::setChecking(bool checking)
{
    if (checkingPrompt_ == checking)
        return;
    checkingPrompt_ = checking;
    emit changed();
}

void CreateView::setUserError(std::optional<QString> error)
{
    if (userError_ == error)
        return;
    userError_ = std::move(error);
    emit changed();
}

} // namespace quorvel::create
