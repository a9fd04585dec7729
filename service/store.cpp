#include "service/store.h"

#include "service/api_error.h"

#include <QCryptographicHash>
#include <QDate>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace quorvel::service {
namespace {

[[noreturn]] void fail(const QString& what, const QSqlError& error)
{
    qCritical("store: %s: %s", qPrintable(what), qPrintable(error.text()));
    throw ApiError { ApiError::Code::Internal, QStringLiteral("The service couldn't read or write its data."), {} };
}

// Prepares and runs one statement with positional values; throws on any failure.
QSqlQuery run(QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery query(db);
    if (!query.prepare(sql))
        fail(sql, query.lastError());
    for (const QVariant& value : values) {
        // A null QString would bind as SQL NULL; every text column here means "empty" instead.
        if (value.typeId() == QMetaType::QString && value.toString().isNull())
            query.addBindValue(QStringLiteral(""));
        else
            query.addBindValue(value);
    }
    if (!query.exec())
        fail(sql, query.lastError());
    return query;
}

QString tokenDigest(const QString& token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

const char* kJobColumns
    = "id, machine, prompt, style, motion, vibe, soundscape, handle, lite, debug, cost, created_ms, refused, "
      "render, render_error, title, approved, published_ms";

JobRecord readJob(const QSqlQuery& q)
{
    JobRecord job;
    job.id = q.value(0).toString();
    job.machine = q.value(1).toString();
    job.prompt = q.value(2).toString();
    job.style = q.value(3).toString();
    job.motion = q.value(4).toString();
    job.vibe = q.value(5).toString();
    job.soundscape = q.value(6).toString();
    job.handle = q.value(7).toString();
    job.lite = q.value(8).toBool();
    job.debug = q.value(9).toBool();
    job.cost = q.value(10).toInt();
    job.createdMs = q.value(11).toLongLong();
    job.refused = q.value(12).toBool();
    job.render = static_cast<RenderState>(q.value(13).toInt());
    job.renderError = q.value(14).toString();
    job.title = q.value(15).toString();
    job.approved = q.value(16).toBool();
    job.publishedMs = q.value(17).toLongLong();
    return job;
}

class Transaction {
public:
    explicit Transaction(QSqlDatabase& db)
        : db_(db)
    {
        if (!db_.transaction())
            fail(QStringLiteral("begin"), db_.lastError());
    }
    ~Transaction()
    {
        if (!committed_)
            db_.rollback();
    }
    void commit()
    {
        if (!db_.commit())
            fail(QStringLiteral("commit"), db_.lastError());
        committed_ = true;
    }

private:
    QSqlDatabase& db_;
    bool committed_ = false;
};

} // namespace

Store::Store(const QString& path)
    : connection_(QStringLiteral("quorvel-store-") + QUuid::createUuid().toString(QUuid::Id128))
{
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db_.setDatabaseName(path);
    if (!db_.open())
        fail(QStringLiteral("open ") + path, db_.lastError());
    run(db_, QStringLiteral("PRAGMA journal_mode=WAL"));
    run(db_, QStringLiteral("PRAGMA synchronous=NORMAL"));
    migrate();
}

Store::~Store()
{
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
}

void Store::migrate()
{
    Transaction tx(db_);
    run(db_,
        QStringLiteral("CREATE TABLE IF NOT EXISTS accounts (machine TEXT PRIMARY KEY, credits INTEGER NOT NULL, "
                       "paid INTEGER NOT NULL DEFAULT 0, plan TEXT NOT NULL DEFAULT '', resets TEXT NOT NULL)"));
    run(db_, QStringLiteral("CREATE TABLE IF NOT EXISTS tokens (digest TEXT PRIMARY KEY, machine TEXT NOT NULL)"));
    run(db_,
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS jobs (id TEXT PRIMARY KEY, machine TEXT NOT NULL, prompt TEXT NOT NULL, "
            "style TEXT NOT NULL, motion TEXT NOT NULL, vibe TEXT NOT NULL, soundscape TEXT NOT NULL, "
            "handle TEXT NOT NULL, lite INTEGER NOT NULL, debug INTEGER NOT NULL, cost INTEGER NOT NULL, "
            "created_ms INTEGER NOT NULL, refused INTEGER NOT NULL, render INTEGER NOT NULL, "
            "render_error TEXT NOT NULL DEFAULT '', refunded INTEGER NOT NULL DEFAULT 0, "
            "title TEXT NOT NULL DEFAULT '', approved INTEGER NOT NULL DEFAULT 0, "
            "published_ms INTEGER NOT NULL DEFAULT 0, published_seq INTEGER NOT NULL DEFAULT 0)"));
    run(db_, QStringLiteral("CREATE INDEX IF NOT EXISTS jobs_machine ON jobs (machine, created_ms)"));
    run(db_, QStringLiteral("CREATE INDEX IF NOT EXISTS jobs_feed ON jobs (approved, published_seq)"));
    tx.commit();
}

void Store::ensureAccount(const QString& machine, int freeCredits, const QString& today)
{
    run(db_, QStringLiteral("INSERT OR IGNORE INTO accounts (machine, credits, resets) VALUES (?, ?, ?)"),
        { machine, freeCredits, today });
}

std::optional<Account> Store::account(const QString& machine)
{
    QSqlQuery q
        = run(db_, QStringLiteral("SELECT credits, paid, plan, resets FROM accounts WHERE machine = ?"), { machine });
    if (!q.next())
        return std::nullopt;
    return Account { machine, q.value(0).toInt(), q.value(1).toBool(), q.value(2).toString(), q.value(3).toString() };
}

void Store::refillIfDue(const QString& machine, int monthlyCredits, const QString& today)
{
    const auto current = account(machine);
    if (!current || !current->paid)
        return;
    const QDate last = QDate::fromString(current->resets, Qt::ISODate);
    const QDate now = QDate::fromString(today, Qt::ISODate);
    if (last.isValid() && now < last.addMonths(1))
        return;
    run(db_, QStringLiteral("UPDATE accounts SET credits = ?, resets = ? WHERE machine = ?"),
        { monthlyCredits, today, machine });
}

bool Store::subscribe(const QString& machine, const QString& plan, int monthlyCredits, const QString& today)
{
    QSqlQuery q = run(db_,
        QStringLiteral("UPDATE accounts SET paid = 1, plan = ?, credits = MAX(credits, ?), resets = ? "
                       "WHERE machine = ?"),
        { plan, monthlyCredits, today, machine });
    return q.numRowsAffected() > 0;
}

void Store::addToken(const QString& token, const QString& machine)
{
    run(db_, QStringLiteral("INSERT INTO tokens (digest, machine) VALUES (?, ?)"), { tokenDigest(token), machine });
}

std::optional<QString> Store::machineForToken(const QString& token)
{
    QSqlQuery q = run(db_, QStringLiteral("SELECT machine FROM tokens WHERE digest = ?"), { tokenDigest(token) });
    if (!q.next())
        return std::nullopt;
    return q.value(0).toString();
}

bool Store::createJob(const JobRecord& job)
{
    Transaction tx(db_);
    if (job.cost > 0) {
        QSqlQuery charge
            = run(db_, QStringLiteral("UPDATE accounts SET credits = credits - ? WHERE machine = ? AND credits >= ?"),
                { job.cost, job.machine, job.cost });
        if (charge.numRowsAffected() != 1)
            return false;
    }
    run(db_,
        QStringLiteral(
            "INSERT INTO jobs (id, machine, prompt, style, motion, vibe, soundscape, handle, lite, debug, cost, "
            "created_ms, refused, render) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        { job.id, job.machine, job.prompt, job.style, job.motion, job.vibe, job.soundscape, job.handle,
            job.lite ? 1 : 0, job.debug ? 1 : 0, job.cost, job.createdMs, job.refused ? 1 : 0,
            static_cast<int>(job.render) });
    tx.commit();
    return true;
}

std::optional<JobRecord> Store::job(const QString& id)
{
    QSqlQuery q = run(db_, QStringLiteral("SELECT %1 FROM jobs WHERE id = ?").arg(QLatin1String(kJobColumns)), { id });
    if (!q.next())
        return std::nullopt;
    return readJob(q);
}

void Store::refund(const QString& id)
{
    Transaction tx(db_);
    QSqlQuery q = run(db_, QStringLiteral("SELECT machine, cost FROM jobs WHERE id = ? AND refunded = 0"), { id });
    if (q.next() && q.value(1).toInt() > 0) {
        run(db_, QStringLiteral("UPDATE accounts SET credits = credits + ? WHERE machine = ?"),
            { q.value(1), q.value(0) });
        run(db_, QStringLiteral("UPDATE jobs SET refunded = 1 WHERE id = ?"), { id });
    }
    tx.commit();
}

void Store::finishRender(const QString& id, bool ok, const QString& error)
{
    run(db_, QStringLiteral("UPDATE jobs SET render = ?, render_error = ? WHERE id = ?"),
        { static_cast<int>(ok ? RenderState::Done : RenderState::Failed), error, id });
    if (!ok)
        refund(id);
}

QList<JobRecord> Store::pendingRenders()
{
    QList<JobRecord> jobs;
    QSqlQuery q = run(db_,
        QStringLiteral("SELECT %1 FROM jobs WHERE render = ? AND refused = 0 ORDER BY created_ms")
            .arg(QLatin1String(kJobColumns)),
        { static_cast<int>(RenderState::Pending) });
    while (q.next())
        jobs << readJob(q);
    return jobs;
}

QList<JobRecord> Store::history(const QString& machine)
{
    QList<JobRecord> jobs;
    QSqlQuery q = run(db_,
        QStringLiteral("SELECT %1 FROM jobs WHERE machine = ? AND render = ? ORDER BY created_ms DESC, id")
            .arg(QLatin1String(kJobColumns)),
        { machine, static_cast<int>(RenderState::Done) });
    while (q.next())
        jobs << readJob(q);
    return jobs;
}

QList<JobRecord> Store::feed(int limit)
{
    QList<JobRecord> jobs;
    QSqlQuery q = run(db_,
        QStringLiteral("SELECT %1 FROM jobs WHERE approved = 1 AND render = ? "
                       "ORDER BY published_seq DESC LIMIT ?")
            .arg(QLatin1String(kJobColumns)),
        { static_cast<int>(RenderState::Done), limit });
    while (q.next())
        jobs << readJob(q);
    return jobs;
}

bool Store::setTitle(const QString& id, const QString& machine, const QString& title)
{
    QSqlQuery q = run(db_, QStringLiteral("UPDATE jobs SET title = ? WHERE id = ? AND machine = ? AND render = ?"),
        { title, id, machine, static_cast<int>(RenderState::Done) });
    return q.numRowsAffected() > 0;
}

bool Store::publish(const QString& id, const QString& machine, const QString& title, qint64 nowMs)
{
    // An empty title keeps the one saved before; publishing twice keeps the first date and place.
    // The sequence orders the feed even when two clips are published in the same millisecond.
    QSqlQuery q = run(db_,
        QStringLiteral("UPDATE jobs SET approved = 1, title = CASE WHEN ? = '' THEN title ELSE ? END, "
                       "published_ms = CASE WHEN approved = 1 THEN published_ms ELSE ? END, "
                       "published_seq = CASE WHEN approved = 1 THEN published_seq "
                       "ELSE (SELECT COALESCE(MAX(published_seq), 0) + 1 FROM jobs) END "
                       "WHERE id = ? AND machine = ? AND render = ?"),
        { title, title, nowMs, id, machine, static_cast<int>(RenderState::Done) });
    return q.numRowsAffected() > 0;
}

} // namespace quorvel::service
