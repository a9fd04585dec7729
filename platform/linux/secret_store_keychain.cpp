#include "platform/secret_store.h"

#include "platform/delete_later.h"

#include <QCoroSignal>
#include <qt6keychain/keychain.h>

#include <memory>

namespace quorvel::platform {

namespace {

template <typename JobType> using JobPtr = LaterPtr<JobType>;

template <typename JobType> JobPtr<JobType> makeJob(const QString& service, const QString& account)
{
    JobPtr<JobType> job(new JobType(service));
    job->setAutoDelete(false);
    // A secret must never end up in a plain file when the Secret Service is missing.
    job->setInsecureFallback(false);
    job->setKey(account);
    return job;
}

// Starts the job and waits for its end. Some failures finish inside start() itself, before
// anyone could be waiting for the signal, hence the flag.
QCoro::Task<> runJob(QKeychain::Job& job)
{
    auto finished = std::make_shared<bool>(false);
    QObject::connect(&job, &QKeychain::Job::finished, &job, [finished] { *finished = true; });
    job.start();
    if (!*finished)
        co_await qCoro(&job, &QKeychain::Job::finished);
}

int statusFor(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError:
        return secret_status::success;
    case QKeychain::EntryNotFound:
        return secret_status::itemNotFound;
    default:
        return secret_status::unavailable;
    }
}

} // namespace

QCoro::Task<SecretReadResult> KeychainSecretStore::read(QString service, QString account)
{
    auto job = makeJob<QKeychain::ReadPasswordJob>(service, account);
    co_await runJob(*job);
    const int status = statusFor(job->error());
    co_return SecretReadResult { status, status == secret_status::success ? job->binaryData() : QByteArray() };
}

QCoro::Task<int> KeychainSecretStore::remove(QString service, QString account)
{
    // The Secret Service deletes a missing item without complaint; the keychain's callers expect
    // to hear that nothing was there.
    const SecretReadResult existing = co_await read(service, account);
    if (existing.status != secret_status::success)
        co_return existing.status;
    auto job = makeJob<QKeychain::DeletePasswordJob>(service, account);
    co_await runJob(*job);
    co_return statusFor(job->error());
}

QCoro::Task<int> KeychainSecretStore::add(QString service, QString account, QByteArray data)
{
    // qtkeychain writes replace silently; an add must refuse an existing item instead.
    const SecretReadResult existing = co_await read(service, account);
    if (existing.status == secret_status::success)
        co_return secret_status::duplicateItem;
    if (existing.status != secret_status::itemNotFound)
        co_return existing.status;
    auto job = makeJob<QKeychain::WritePasswordJob>(service, account);
    job->setBinaryData(data);
    co_await runJob(*job);
    co_return statusFor(job->error());
}

} // namespace quorvel::platform
