#pragma once
// One running service per test suite, and helpers for the recipes and clips the tests need.

#include "http_client.h"
#include "support/service_process.h"

#include "printers.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

namespace quorvel::testing {

inline const QString kDebugMachine = QString("ab").repeated(32);
inline const QString kDebugToken = "dev-token-1";

// Flags of the shared service: instant jobs, enough credits to work with, a developer pair and
// a minimum build that the helpers satisfy.
inline QStringList sharedServiceArguments()
{
    return { "--instant", "--free-credits", "20", "--debug-machine", kDebugMachine, "--debug-token", kDebugToken,
        "--min-build", "5", "--location", "Test Bench" };
}

template <QStringList (*Arguments)() = sharedServiceArguments> class ServiceFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        service = new ServiceProcess;
        service->start(Arguments());
    }
    static void TearDownTestSuite()
    {
        delete service;
        service = nullptr;
    }
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
        std::vector<std::pair<QByteArray, QByteArray>> headers { { "Content-Type", "application/json" },
            { "Authorization", "Bearer " + token.toUtf8() } };
        if (!build.isEmpty())
            headers.emplace_back("X-Quorvel-Build", build);
        return client->send("POST", "/generate", QJsonDocument(body).toJson(QJsonDocument::Compact), headers);
    }

    // Generates a clip and returns its address (empty, with a test failure, when that fails).
    QString makeClip(const QString& prompt = "a fox asleep in a peony")
    {
        const HttpResult accepted = generate(recipe(prompt));
        const QString job = accepted.json().value("job").toString();
        EXPECT_FALSE(job.isEmpty()) << accepted.body.toStdString();
        const QJsonObject status = client->get("/jobs/" + job).json();
        EXPECT_TRUE(status.value("done").toBool()) << "instant jobs are done when /generate answers";
        EXPECT_TRUE(status.value("ok").toBool()) << status.value("log").toString().toStdString();
        return status.value("clip").toString();
    }

    int credits() { return client->get("/balance?user=" + machine, token).json().value("credits").toInt(-1); }

    static inline ServiceProcess* service = nullptr;
    std::unique_ptr<HttpClient> client;
    QString machine;
    QString token;
};

} // namespace quorvel::testing
