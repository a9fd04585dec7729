#pragma once
// Everything the service remembers, in one SQLite file. Bound parameters only; every method
// either succeeds or throws ApiError(Internal) and leaves the database as it was.

#include "service/job_timeline.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace quorvel::service {

struct Account {
    QString machine;
    int credits = 0;
    bool paid = false;
    QString plan; // "monthly", "yearly" or empty
    QString resets; // "yyyy-MM-dd" of the last credit reset
};

struct JobRecord {
    QString id; // 32 lowercase hex digits; also the clip's file name
    QString machine;
    QString prompt, style, motion, vibe, soundscape, handle;
    bool lite = true;
    bool debug = false;
    int cost = 0; // credits charged (refunded when the job fails)
    qint64 createdMs = 0;
    bool refused = false;
    RenderState render = RenderState::Pending;
    QString renderError;
    QString title;
    bool approved = false;
    qint64 publishedMs = 0;
};

class Store {
public:
    // Opens (creating when needed) the database file. Throws ApiError on failure.
    explicit Store(const QString& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Creates the account with `freeCredits` when it does not exist yet.
    void ensureAccount(const QString& machine, int freeCredits, const QString& today);
    std::optional<Account> account(const QString& machine);
    // Paid accounts get `monthlyCredits` back once a month has passed since the last reset.
    void refillIfDue(const QString& machine, int monthlyCredits, const QString& today);
    // Marks the account paid with a fresh month of credits; false when there is no such account.
    bool subscribe(const QString& machine, const QString& plan, int monthlyCredits, const QString& today);

    // Stores only a digest of the token.
    void addToken(const QString& token, const QString& machine);
    std::optional<QString> machineForToken(const QString& token);

    // Charges `job.cost` and records the job in one transaction; false (nothing changed) when the
    // account has fewer credits than the cost.
    bool createJob(const JobRecord& job);
    std::optional<JobRecord> job(const QString& id);
    // Records the render outcome; a failed job gets its credits back (once).
    void finishRender(const QString& id, bool ok, const QString& error);
    // Gives a refused job its credits back (once).
    void refund(const QString& id);
    QList<JobRecord> pendingRenders();

    // Finished clips of one machine, newest first.
    QList<JobRecord> history(const QString& machine);
    // Published clips, newest publication first.
    QList<JobRecord> feed(int limit);
    // Both return false when the machine has no such finished clip.
    bool setTitle(const QString& id, const QString& machine, const QString& title);
    bool publish(const QString& id, const QString& machine, const QString& title, qint64 nowMs);

private:
    void migrate();
    QSqlDatabase db_;
    QString connection_;
};

} // namespace quorvel::service
