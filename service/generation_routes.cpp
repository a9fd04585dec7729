// Submitting a recipe, following its job, and the prompt pre-check.
#include "service/request_fields.h"
#include "service/service_api.h"
#include "service/vocabulary.h"

#include <QUuid>

namespace quorvel::service {
namespace {

QString vocabularyField(const QJsonObject& body, const QString& key, const QStringList& allowed)
{
    const QString value = stringField(body, key, 64);
    if (!allowed.contains(value))
        throw ApiError::badRequest(QStringLiteral("Unknown %1 \"%2\".").arg(key, value));
    return value;
}

QString outOfCreditsText(int credits, int cost)
{
    if (credits <= 0)
        return QStringLiteral("You're fresh out of wumble credits. Pick a plan to keep creating.");
    return QStringLiteral("Standard costs %1 wumble credits and you have %2. Try Lite, or pick a plan.")
        .arg(cost)
        .arg(credits);
}

} // namespace

void ServiceApi::generate(const Request& request, const Reply& reply)
{
    const QString machine = authenticate(request);
    if (config_.minBuild) {
        bool numeric = false;
        const int build = request.header("X-Quorvel-Build").trimmed().toInt(&numeric);
        if (!numeric || build < *config_.minBuild)
            throw ApiError { ApiError::Code::UpdateRequired,
                QStringLiteral("This build of Quorvel is too old to create wumbles."), {} };
    }
    const QJsonObject body = jsonBody(request);
    const bool debug = boolField(body, QStringLiteral("debug"), false);
    if (debug
        && !debugPairMatches(body.value(QStringLiteral("debug_machine")).toString(),
            body.value(QStringLiteral("debug_token")).toString()))
        throw ApiError { ApiError::Code::DebugDenied, QStringLiteral("Debug access denied."), {} };
    requireSameUser(machine, stringField(body, QStringLiteral("user"), 256));

    JobRecord job;
    job.machine = machine;
    job.prompt = promptField(body, kMaxPrompt);
    job.style = vocabularyField(body, QStringLiteral("style"), vocabulary::styles());
    job.motion = vocabularyField(body, QStringLiteral("motion"), vocabulary::motions());
    job.vibe = vocabularyField(body, QStringLiteral("vibe"), vocabulary::vibes());
    if (!body.value(QStringLiteral("lite")).isBool())
        throw ApiError::badRequest(QStringLiteral("The field \"lite\" must be true or false."));
    job.lite = body.value(QStringLiteral("lite")).toBool();
    job.soundscape = stringField(body, QStringLiteral("soundscape"), 64);
    if (job.soundscape != QLatin1String("none"))
        throw ApiError::badRequest(QStringLiteral("Unknown soundscape \"%1\".").arg(job.soundscape));
    job.handle = stringField(body, QStringLiteral("handle"), 1024).trimmed();
    if (job.handle.size() > kMaxHandle)
        throw ApiError::badRequest(QStringLiteral("Keep the handle under %1 characters.").arg(kMaxHandle));
    job.debug = debug;
    job.cost = debug ? 0 : (job.lite ? kLiteCost : kStandardCost);
    job.id = QUuid::createUuid().toString(QUuid::Id128);
    job.createdMs = clock_.nowMs();
    job.refused = vocabulary::isRefused(job.prompt);

    const QString today = isoDay(job.createdMs);
    store_.ensureAccount(machine, config_.freeCredits, today);
    store_.refillIfDue(machine, kMonthlyCredits, today);
    if (!store_.createJob(job)) {
        const int credits = store_.account(machine).value().credits;
        throw ApiError { ApiError::Code::OutOfCredits, outOfCreditsText(credits, job.cost), {} };
    }
    if (job.refused) {
        store_.refund(job.id); // a refused prompt costs nothing
        sendJob(reply, job.id);
        return;
    }
    if (config_.instant)
        waiting_[job.id].append(reply); // answered once the clip exists, so the job is done at once
    else
        sendJob(reply, job.id);
    renderer_.render({ job.id, job.prompt, { job.style, job.motion, job.vibe, job.lite } });
}

void ServiceApi::sendJob(const Reply& reply, const QString& id)
{
    reply.send(Response::json(200, { { "job", id } }));
}

void ServiceApi::renderFinished(const QString& id, bool ok, const QString& error)
{
    try {
        store_.finishRender(id, ok, error);
    } catch (const ApiError& failure) {
        qCritical("render %s: couldn't record the outcome: %s", qPrintable(id), qPrintable(failure.message));
    }
    if (!ok)
        qWarning("render %s failed: %s", qPrintable(id), qPrintable(error));
    for (const Reply& reply : waiting_.take(id))
        sendJob(reply, id);
}

void ServiceApi::resumePendingRenders()
{
    for (const JobRecord& job : store_.pendingRenders())
        renderer_.render({ job.id, job.prompt, { job.style, job.motion, job.vibe, job.lite } });
}

void ServiceApi::jobStatus(const Request& request, const Reply& reply)
{
    const QString id = parseId(request.path.mid(QStringLiteral("/jobs/").size()));
    const auto job = id.isEmpty() ? std::nullopt : store_.job(id);
    if (!job)
        throw ApiError::notFound(QStringLiteral("No such job."));
    JobFacts facts;
    facts.elapsedMs = clock_.nowMs() - job->createdMs;
    facts.instant = config_.instant;
    facts.refused = job->refused;
    facts.render = job->render;
    facts.renderError = job->renderError;
    const JobStatus status = quorvel::service::jobStatus(facts);
    // No "error" key here: the app counts any reply that has one as a failed poll.
    QJsonObject body { { "log", status.log }, { "done", status.done }, { "ok", status.ok } };
    if (status.ok)
        body.insert("clip", clipUrl(job->id));
    reply.send(Response::json(200, body));
}

void ServiceApi::vetPrompt(const Request& request, const Reply& reply)
{
    const QString machine = authenticate(request);
    const QJsonObject body = jsonBody(request);
    const QString prompt = stringField(body, QStringLiteral("prompt"), 64 * 1024);
    for (const QString& key :
        { QStringLiteral("style"), QStringLiteral("motion"), QStringLiteral("vibe"), QStringLiteral("soundscape") })
        stringField(body, key, 64);
    requireSameUser(machine, stringField(body, QStringLiteral("user"), 256));
    if (const auto wait = vetLimiter_.hit(machine, clock_.nowMs()))
        throw ApiError { ApiError::Code::RateLimited, QStringLiteral("Too many prompt checks; try again shortly."),
            *wait };
    reply.send(Response::json(200, { { "checked", true }, { "ok", !vocabulary::isRefused(prompt) } }));
}

} // namespace quorvel::service
