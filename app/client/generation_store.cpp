#include "app/client/generation_store.h"

#include "app/client/auth_store.h"
#include "app/client/service_json.h"
#include "platform/clock.h"
#include "platform/log.h"

#include <QPointer>
#include <QTextBoundaryFinder>

namespace quorvel::app {

using platform::LogCategory;

// Characters as the user sees them: an accented letter or an emoji counts once, however many
// UTF-16 units it takes.
qsizetype GenerationStore::userCharacterCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

GenerationStore::GenerationStore(
    AuthStore& auth, DebugSources debugSources, platform::Sleeper& sleeper, QObject* parent)
    : QObject(parent)
    , auth_(auth)
    , debugSources_(std::move(debugSources))
    , sleeper_(sleeper)
{
}

QString GenerationStore::stageText(const QString& log)
{
    struct Rule {
        QString marker;
        QString stage;
    };
    // First match wins: "keyframe..." must be tested before "vetting:".
    static const Rule rules[] = {
        { QStringLiteral("animating..."), QStringLiteral("Animating your wumble…") },
        { QStringLiteral("keyframe:"), QStringLiteral("Keyframe ready · starting animation…") },
        { QStringLiteral("keyframe..."), QStringLiteral("Creating the keyframe…") },
        { QStringLiteral("vetting:"), QStringLiteral("Prompt approved · composing the scene…") },
    };
    for (const Rule& rule : rules)
        if (log.contains(rule.marker, Qt::CaseSensitive))
            return rule.stage;
    return texts::stageChecking;
}

bool GenerationStore::start(const GenerationSubmission& submission)
{
    if (isRunning_) {
        setError(texts::alreadyGenerating);
        return false;
    }
    const QString prompt = submission.prompt.trimmed();
    if (prompt.isEmpty()) {
        setError(texts::describeWumble);
        return false;
    }
    if (userCharacterCount(prompt) > longestPrompt) {
        setError(texts::promptTooLong);
        return false;
    }
    if (prompt.toUtf8().size() > longestPromptBytes) {
        setError(texts::promptTooLarge);
        return false;
    }

    GenerationSubmission accepted = submission;
    accepted.prompt = prompt;
    accepted.soundscape = QStringLiteral("none");

    setSubmission(accepted);
    setRunning(true);
    setStage(texts::stageSending);
    setLog(QString());
    setClipURL(std::nullopt);
    setError(std::nullopt);
    setPublished(false);
    setTitleSaved(false);

    // The task runs on by itself; every await inside re-checks that the store and this run remain.
    const quint64 id = ++runId_;
    QCoro::Task<> task = run(id, accepted);
    Q_UNUSED(task);
    return true;
}

void GenerationStore::cancel()
{
    if (!isRunning_)
        return;
    ++runId_;
    setRunning(false);
}

QCoro::Task<> GenerationStore::run(quint64 runId, GenerationSubmission submission)
{
    QPointer<GenerationStore> self(this);
    authFailure_.reset();

    std::optional<DebugCredentials> credentials;
    GenerationSubmission sent = submission;
    if (submission.debug) {
        credentials = co_await DebugCredentials::load(debugSources_);
        if (!self || !isCurrent(runId))
            co_return;
        if (!credentials)
            sent.debug = false;
    }

    for (;;) {
        // Named first: GCC 12 mishandles temporaries inside a co_await expression.
        const QJsonObject body = generateBody(sent, credentials);
        const AuthorizedResult result = co_await auth_.generate(body);
        if (!self || !isCurrent(runId))
            co_return;

        std::optional<QJsonObject> reply;
        if (const std::optional<QString> failure = result.failure()) {
            authFailure_ = *failure;
            platform::log::error(LogCategory::HostApp, QStringLiteral("Generate request failed: ") + *failure);
        } else {
            reply = json::object(result.body());
            // A refusal or an update demand is meaningful by its status alone, whatever the body.
            if (!reply && (result.status() == 403 || result.status() == 426))
                reply = QJsonObject();
        }
        if (!reply) {
            fail(authFailure_.value_or(texts::cannotReach));
            co_return;
        }

        if (result.status() == 403 && credentials) {
            platform::log::error(
                LogCategory::HostApp, QStringLiteral("Server denied debug access; retrying on normal wumble credits."));
            credentials.reset();
            sent.debug = false;
            continue;
        }
        if (const std::optional<QString> update = AuthStore::updateRequiredMessage(result.status(), *reply)) {
            platform::log::error(LogCategory::HostApp,
                QStringLiteral("Server requires an app update before generating (build too old)."));
            fail(*update);
            co_return;
        }
        std::optional<QString> message = json::string(*reply, QStringLiteral("message"));
        if (!message)
            message = json::string(*reply, QStringLiteral("error"));
        if (message && !reply->contains(QStringLiteral("job"))) {
            fail(*message);
            co_return;
        }
        if (const std::optional<QString> job = json::string(*reply, QStringLiteral("job"))) {
            setStage(texts::stageChecking);
            co_await poll(runId, *job);
            co_return;
        }
        fail(texts::cannotReach);
        co_return;
    }
}

QCoro::Task<> GenerationStore::poll(quint64 runId, QString jobId)
{
    QPointer<GenerationStore> self(this);
    platform::Sleeper& sleeper = sleeper_;
    AuthStore& auth = auth_;
    int polls = 0;
    int failures = 0;
    for (;;) {
        if (!self || !isCurrent(runId))
            co_return;
        const bool woke = co_await sleeper.sleep(pollInterval);
        if (!woke || !self || !isCurrent(runId))
            co_return;
        if (polls == pollLimit) {
            fail(texts::timedOut);
            co_return;
        }

        const std::optional<HttpResponse> response = co_await auth.pollJob(jobId);
        if (!self || !isCurrent(runId))
            co_return;
        const std::optional<QJsonObject> reply = response ? json::object(response->body) : std::nullopt;
        if (!reply || reply->contains(QStringLiteral("error"))) {
            if (++failures >= failedPollLimit) {
                setRunning(false);
                setStage(texts::stageFailed);
                setError(texts::lostContact);
                co_return;
            }
        } else {
            const QString log = json::string(*reply, QStringLiteral("log")).value_or(QString());
            setLog(log);
            setStage(stageText(log));
            if (json::boolean(*reply, QStringLiteral("done")) != true) {
                failures = 0;
            } else {
                setRunning(false);
                const std::optional<QString> clip = json::string(*reply, QStringLiteral("clip"));
                if (json::boolean(*reply, QStringLiteral("ok")) == true && clip) {
                    setClipURL(*clip);
                    setStage(texts::stageReady);
                } else if (log.contains(QStringLiteral("INAPPROPRIATE"), Qt::CaseSensitive)) {
                    setError(texts::notAllAges);
                    setStage(texts::stageStopped);
                } else {
                    const QStringList lines = log.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                    setError(lines.isEmpty() ? texts::generationFailedRetry : lines.last());
                    setStage(texts::stageFailed);
                }
                co_return;
            }
        }
        ++polls;
    }
}

void GenerationStore::fail(const QString& text)
{
    setRunning(false);
    setStage(texts::stageFailed);
    setError(text);
}

QString GenerationStore::currentUser() const
{
    return submission_ ? submission_->userID : auth_.machineIdentifier();
}

QCoro::Task<bool> GenerationStore::updateClip(QString action, QString clip, QString title, QString user)
{
    const QString trimmed = title.trimmed();
    const AuthorizedResult result = co_await auth_.updateClip(action, clip, trimmed, user);
    if (const std::optional<QString> failure = result.failure()) {
        platform::log::error(LogCategory::HostApp, action + QStringLiteral(" update failed: ") + *failure);
        co_return false;
    }
    co_return result.status() == 200;
}

QCoro::Task<> GenerationStore::saveTitle(QString title)
{
    if (!clipURL_ || title.trimmed().isEmpty())
        co_return;
    QPointer<GenerationStore> self(this);
    const QString clip = *clipURL_;
    const QString action = QStringLiteral("title");
    const QString user = currentUser();
    const bool ok = co_await updateClip(action, clip, title, user);
    if (!self || clipURL_ != clip)
        co_return;
    setTitleSaved(ok);
    setError(ok ? std::nullopt : std::optional<QString>(texts::titleNotSaved));
}

QCoro::Task<> GenerationStore::publish(QString title)
{
    if (!clipURL_)
        co_return;
    QPointer<GenerationStore> self(this);
    const QString clip = *clipURL_;
    const QString action = QStringLiteral("publish");
    const QString user = currentUser();
    const bool ok = co_await updateClip(action, clip, title, user);
    if (!self || clipURL_ != clip)
        co_return;
    setPublished(ok);
    if (ok)
        setTitleSaved(true);
    setError(ok ? std::nullopt : std::optional<QString>(texts::notPublished));
}

void GenerationStore::setSubmission(std::optional<GenerationSubmission> submission)
{
    if (submission_ == submission)
        return;
    submission_ = std::move(submission);
    emit submissionChanged();
}

void GenerationStore::setRunning(bool running)
{
    if (isRunning_ == running)
        return;
    isRunning_ = running;
    emit isRunningChanged();
}

void GenerationStore::setStage(const QString& stage)
{
    if (stage_ == stage)
        return;
    stage_ = stage;
    emit stageChanged();
}

void GenerationStore::setLog(const QString& log)
{
    if (log_ == log)
        return;
    log_ = log;
    emit logChanged();
}

void GenerationStore::setClipURL(std::optional<QString> clip)
{
    if (clipURL_ == clip)
        return;
    clipURL_ = std::move(clip);
    emit clipURLChanged();
}

void GenerationStore::setError(std::optional<QString> error)
{
    if (error_ == error)
        return;
    error_ = std::move(error);
    emit errorChanged();
}

void GenerationStore::setPublished(bool published)
{
    if (published_ == published)
        return;
    published_ = published;
    emit publishedChanged();
}

void GenerationStore::setTitleSaved(bool saved)
{
    if (titleSaved_ == saved)
        return;
    titleSaved_ = saved;
    emit titleSavedChanged();
}

} // namespace quorvel::app
