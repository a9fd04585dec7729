#pragma once
// Turns one recipe into one finished clip: validates it, submits it, follows the job with stage
// lines, and carries the title and publish follow-ups. One run at a time.

#include "app/client/debug_credentials.h"
#include "app/client/generation_submission.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

namespace quorvel::platform {
class Sleeper;
}

namespace quorvel::app {

class AuthStore;

namespace texts {
inline const QString alreadyGenerating = QStringLiteral("A wumble is already generating.");
inline const QString describeWumble = QStringLiteral("Describe the wumble you want to create.");
inline const QString promptTooLong = QStringLiteral("Keep the description under 2000 characters.");
// Few characters, yet too long to send: many combining marks or joined emoji.
inline const QString promptTooLarge
    = QStringLiteral("This description is too long to send. Use fewer accents and emoji.");
inline const QString lostContact = QStringLiteral("Lost contact with Quorvel. Please try again.");
inline const QString timedOut = QStringLiteral("Generation timed out after 15 minutes. Please try again.");
inline const QString notAllAges
    = QStringLiteral("This prompt isn't appropriate for the all-ages community. Please rewrite it.");
inline const QString generationFailedRetry = QStringLiteral("Generation failed. Please try again.");
inline const QString titleNotSaved = QStringLiteral("Couldn't save the title.");
inline const QString notPublished = QStringLiteral("Couldn't add this wumble to the community.");

inline const QString stageSending = QStringLiteral("Sending your recipe…");
inline const QString stageChecking = QStringLiteral("Checking your prompt…");
inline const QString stageReady = QStringLiteral("Your wumble is ready");
inline const QString stageStopped = QStringLiteral("Generation stopped");
inline const QString stageFailed = QStringLiteral("Generation failed");
} // namespace texts

class GenerationStore final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<quorvel::app::GenerationSubmission> submission READ submission NOTIFY submissionChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(QString stage READ stage NOTIFY stageChanged)
    Q_PROPERTY(QString log READ log NOTIFY logChanged)
    Q_PROPERTY(std::optional<QString> clipURL READ clipURL NOTIFY clipURLChanged)
    Q_PROPERTY(std::optional<QString> error READ error NOTIFY errorChanged)
    Q_PROPERTY(bool published READ published NOTIFY publishedChanged)
    Q_PROPERTY(bool titleSaved READ titleSaved NOTIFY titleSavedChanged)

public:
    // In characters as the user counts them (grapheme clusters), the way the service counts.
    static constexpr int longestPrompt = 2000;
    // The service also refuses a prompt whose UTF-8 form is longer than this, however few
    // characters it has (one character may carry any number of combining marks).
    static constexpr qsizetype longestPromptBytes = 32 * 1024;
    static constexpr std::chrono::seconds pollInterval { 5 };
    // 179 polls, the limit met on the 180th wake-up: 15 minutes after polling began.
    static constexpr int pollLimit = 179;
    static constexpr int failedPollLimit = 5;

    // `auth`, `debugSources` and `sleeper` must outlive the store.
    GenerationStore(AuthStore& auth, DebugSources debugSources, platform::Sleeper& sleeper, QObject* parent = nullptr);

    std::optional<GenerationSubmission> submission() const { return submission_; }
    bool isRunning() const { return isRunning_; }
    QString stage() const { return stage_; }
    QString log() const { return log_; }
    std::optional<QString> clipURL() const { return clipURL_; }
    std::optional<QString> error() const { return error_; }
    bool published() const { return published_; }
    bool titleSaved() const { return titleSaved_; }
    // Failure text of the last /generate call's authorized request; not published.
    std::optional<QString> authFailure() const { return authFailure_; }

    // Validates and launches a run; false (with `error` set) when the submission is refused.
    bool start(const GenerationSubmission& submission);
    // Ends the running job's polling without touching its visible state; the run stops at its
    // next wake-up and never writes another property.
    void cancel();

    QCoro::Task<> saveTitle(QString title);
    QCoro::Task<> publish(QString title);
    // PATCH base URL + "/" + action; true when the service answered 200.
    QCoro::Task<bool> updateClip(QString action, QString clip, QString title, QString user);

    static QString stageText(const QString& log);
    // The length rule's count: grapheme clusters, as the user and the service count characters.
    static qsizetype userCharacterCount(const QString& text);

signals:
    void submissionChanged();
    void isRunningChanged();
    void stageChanged();
    void logChanged();
    void clipURLChanged();
    void errorChanged();
    void publishedChanged();
    void titleSavedChanged();

private:
    QCoro::Task<> run(quint64 runId, GenerationSubmission submission);
    QCoro::Task<> poll(quint64 runId, QString jobId);
    bool isCurrent(quint64 runId) const { return isRunning_ && runId_ == runId; }
    void fail(const QString& text);
    QString currentUser() const;

    void setSubmission(std::optional<GenerationSubmission> submission);
    void setRunning(bool running);
    void setStage(const QString& stage);
    void setLog(const QString& log);
    void setClipURL(std::optional<QString> clip);
    void setError(std::optional<QString> error);
    void setPublished(bool published);
    void setTitleSaved(bool saved);

    AuthStore& auth_;
    DebugSources debugSources_;
    platform::Sleeper& sleeper_;
    quint64 runId_ = 0;

    std::optional<GenerationSubmission> submission_;
    bool isRunning_ = false;
    QString stage_;
    QString log_;
    std::optional<QString> clipURL_;
    std::optional<QString> error_;
    bool published_ = false;
    bool titleSaved_ = false;
    std::optional<QString> authFailure_;
};

} // namespace quorvel::app
