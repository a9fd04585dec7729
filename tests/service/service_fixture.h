#pragma once
// A small blocking HTTP client, one running service per test suite, a freshly enrolled machine per
// test, and recipe helpers.

#include "support/service_process.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUuid>

namespace quorvel::testing {

using Headers = std::vector<std::pair<QByteArray, QByteArray>>;

struct HttpResult {
    int status = 0; // 0 when no HTTP reply arrived
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;

    QByteArray header(const QByteArray& name) const
    {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        return {};
    }
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QString error() const { return json().value("error").toString(); }
};

class HttpClient {
public:
    explicit HttpClient(QString baseUrl)
        : base_(std::move(baseUrl))
    {
    }

    HttpResult send(
        const QByteArray& method, const QString& path, const QByteArray& body = {}, const Headers& headers = {})
    {
        QNetworkRequest request(QUrl(base_ + path));
        // In instant mode /generate answers once the clip is rendered, which takes seconds on a busy machine.
        request.setTransferTimeout(45000);
        for (const auto& [key, value] : headers)
            request.setRawHeader(key, value);
        QNetworkReply* reply = network_.sendCustomRequest(request, method, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        HttpResult result { reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
            reply->rawHeaderPairs() };
        reply->deleteLater();
        return result;
    }
    HttpResult get(const QString& path, const QString& token = {}) { return send("GET", path, {}, auth(token)); }
    // POST or PATCH a JSON object, with a bearer token when one is given.
    HttpResult json(const QByteArray& method, const QString& path, const QJsonObject& body, const QString& token = {})
    {
        Headers headers = auth(token);
        headers.emplace_back("Content-Type", "application/json");
        return send(method, path, QJsonDocument(body).toJson(QJsonDocument::Compact), headers);
    }
    QString enroll(const QString& machine)
    {
        return json("POST", "/enroll", { { "machine", machine } }).json().value("token").toString();
    }

private:
    static Headers auth(const QString& token)
    {
        return token.isEmpty() ? Headers {} : Headers { { "Authorization", "Bearer " + token.toUtf8() } };
    }

    QString base_;
    QNetworkAccessManager network_;
};

inline const QString kDebugMachine = QString("ab").repeated(32);
inline const QString kDebugToken = "dev-token-1";

// Instant jobs, enough credits to work with, a developer pair and a minimum build.
inline QStringList sharedServiceArguments()
{
    return { "--instant", "--free-credits", "20", "--debug-machine", kDebugMachine, "--debug-token", kDebugToken,
        "--min-build", "5", "--location", "Test Bench" };
}

template <QStringList (*Arguments)() = sharedServiceArguments> class ServiceFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service = new ServiceProcess, service->start(Arguments()); }
    static void TearDownTestSuite() { delete service; }
    void SetUp() override
    {
        ASSERT_TRUE(service->isRunning()) << service->errorText().toStdString();
        client = std::make_unique<HttpClient>(service->baseUrl());
        machine = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        token = client->enroll(machine);
        ASSERT_FALSE(token.isEmpty());
    }

    QJsonObject recipe(const QString& prompt = "a fox asleep in a peony", bool lite = true) const
    {
        return { { "prompt", prompt }, { "style", "noir" }, { "motion", "slow pan" }, { "vibe", "dreamy" },
            { "lite", lite }, { "handle", "foxfan" }, { "soundscape", "none" }, { "user", machine } };
    }
    HttpResult generate(const QJsonObject& body, const QByteArray& build = "7")
    {
        Headers headers { { "Content-Type", "application/json" }, { "Authorization", "Bearer " + token.toUtf8() } };
        if (!build.isEmpty())
            headers.emplace_back("X-Quorvel-Build", build);
        return client->send("POST", "/generate", QJsonDocument(body).toJson(QJsonDocument::Compact), headers);
    }
    QJsonObject job(const HttpResult& accepted)
    {
        return client->get("/jobs/" + accepted.json().value("job").toString()).json();
    }
    // Generates a clip and returns its address (empty, with a test failure, when that fails).
    QString makeClip(const QString& prompt = "a fox asleep in a peony")
    {
        const QJsonObject status = job(generate(recipe(prompt)));
        EXPECT_TRUE(status.value("done").toBool() && status.value("ok").toBool()) << "instant jobs are done at once";
        return status.value("clip").toString();
    }
    // PATCHes /title or /publish for a clip as this machine; an Undefined title leaves the key out.
    int update(const QString& path, const QString& url, const QJsonValue& title)
    {
        QJsonObject body { { "url", url }, { "title", title }, { "user", machine } };
        return client->json("PATCH", path, body, token).status;
    }
    int credits() { return client->get("/balance?user=" + machine, token).json().value("credits").toInt(-1); }
    QJsonArray history() { return client->get("/history?user=" + machine, token).json().value("videos").toArray(); }

    static inline ServiceProcess* service = nullptr;
    std::unique_ptr<HttpClient> client;
    QString machine;
    QString token;
};

} // namespace quorvel::testing
