// The whole road over real HTTP against the reference service: enrollment, balance, pre-check,
// generation polled to its clip, title, publish, history, and the feed listing the clip.
#include "app/service/auth_store.h"
#include "app/service/generation_store.h"
#include "app/service/service_json.h"
#include "fakes.h"
#include "support/coro.h"
#include "support/manual_clock.h"
#include "support/memory_secret_store.h"

#include <QCoroNetworkReply>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

// Runs the reference service on a free loopback port with instant jobs.
class ReferenceService {
public:
    static QString binary() { return QStringLiteral(QUORVEL_BIN_DIR "/quorvel-service"); }

    bool start()
    {
        process_.setProgram(binary());
        process_.setArguments({ "--data", data_.path(), "--port", "0", "--instant" });
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
        if (!process_.waitForStarted(10000))
            return false;
        QByteArray line;
        while (!line.contains('\n') && process_.waitForReadyRead(10000))
            line += process_.readAllStandardOutput();
        bool ok = false;
        port_ = line.left(line.indexOf('\n')).trimmed().toUShort(&ok);
        return ok && port_ != 0;
    }
    ~ReferenceService()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000))
                process_.kill();
            process_.waitForFinished(5000);
        }
    }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    QByteArray errors() { return process_.readAllStandardError(); }

private:
    QTemporaryDir data_;
    QProcess process_;
    quint16 port_ = 0;
};

bool finishes(app::GenerationStore& store)
{
    if (!store.isRunning())
        return true;
    QEventLoop loop;
    QObject::connect(&store, &app::GenerationStore::isRunningChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    return !store.isRunning();
}

QCoro::Task<QByteArray> fetch(QNetworkAccessManager& session, QUrl url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(10000);
    QNetworkReply* reply = session.get(request);
    co_await qCoro(reply).waitForFinished();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    co_return body;
}

bool listsClip(const QJsonObject& object, const QString& clip, const QString& title)
{
    for (const QJsonValue& entry : object.value("videos").toArray()) {
        const QJsonObject video = entry.toObject();
        if (video.value("url").toString() == clip && video.value("title").toString() == title)
            return true;
    }
    return false;
}

TEST(EndToEnd, FromEnrollmentToAClipTheFeedLists)
{
    if (!QFileInfo::exists(ReferenceService::binary()))
        GTEST_SKIP() << "the reference service is not built: " << ReferenceService::binary().toStdString();
    ReferenceService service;
    ASSERT_TRUE(service.start()) << service.errors().toStdString();

    QNetworkAccessManager session;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    app::ServiceConfig config;
    config.baseUrl = service.baseUrl();
    app::AuthStore auth(session, secrets, identity, system, config);

    ASSERT_TRUE(await(auth.ensureEnrolled()));
    EXPECT_EQ(auth.enrollmentError(), std::nullopt);

    const app::AuthorizedResult balance = await(auth.balance());
    ASSERT_EQ(balance.status(), 200) << balance.failure().value_or(QString()).toStdString();
    const auto balanceReply = app::json::object(balance.body());
    ASSERT_TRUE(balanceReply);
    EXPECT_TRUE(app::json::integer(*balanceReply, "credits").has_value());

    const app::PromptCheckRequest check { "a harbor at night, lanterns swaying", "noir", "push-in", "dreamy",
        auth.machineIdentifier() };
    EXPECT_NE(await(auth.vetPrompt(check)).kind, app::PromptCheckResult::Kind::rejected);

    ManualClock clock;
    ManualSleeper sleeper(clock);
    app::GenerationStore store(auth, app::DebugSources { identity, secrets }, sleeper);
    app::GenerationSubmission submission;
    submission.prompt = check.prompt;
    submission.style = check.style;
    submission.motion = check.motion;
    submission.vibe = check.vibe;
    submission.lite = true;
    submission.handle = "@harbor";
    submission.userID = auth.machineIdentifier();
    ASSERT_TRUE(store.start(submission));
    ASSERT_TRUE(finishes(store));
    ASSERT_FALSE(store.error()) << store.error()->toStdString();
    EXPECT_EQ(store.stage(), "Your wumble is ready");
    ASSERT_TRUE(store.clipURL());
    const QString clip = *store.clipURL();

    await(store.saveTitle("Harbor lights"));
    EXPECT_TRUE(store.titleSaved());
    await(store.publish("Harbor lights"));
    EXPECT_TRUE(store.published());
    EXPECT_EQ(store.error(), std::nullopt);

    const app::AuthorizedResult history = await(auth.history());
    ASSERT_EQ(history.status(), 200);
    const auto historyReply = app::json::object(history.body());
    ASSERT_TRUE(historyReply);
    EXPECT_TRUE(listsClip(*historyReply, clip, "Harbor lights")) << history.body().toStdString();

    const QUrl feedUrl(service.baseUrl() + "/feed?t=" + QString::number(QDateTime::currentSecsSinceEpoch())
        + "&user=" + auth.machineIdentifier());
    const QByteArray feed = await(fetch(session, feedUrl));
    const auto manifest = app::json::object(feed);
    ASSERT_TRUE(manifest) << feed.toStdString();
    EXPECT_TRUE(listsClip(*manifest, clip, "Harbor lights")) << feed.toStdString();
}

} // namespace
} // namespace quorvel::testing
