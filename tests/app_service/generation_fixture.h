#pragma once
// A generation store over the loopback fault server, polling on a manual clock.

#include "app/service/debug_credentials.h"
#include "app/service/generation_store.h"
#include "service_fixture.h"
#include "support/manual_clock.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTest>
#include <QTimer>

#include <memory>

namespace quorvel::testing {

inline const QPair<QString, QString> debugTokenItem { QStringLiteral("com.quorvel.debug-token"),
    QStringLiteral("developer") };

class GenerationFixture : public ServiceFixture {
protected:
    GenerationFixture() { setStoredToken("tok"); }

    app::DebugSources debugSources()
    {
        return app::DebugSources { identity, secrets, app::DebugCredentials::machineValue(*identity.en0) };
    }
    // Makes this machine the authorized debug machine with a readable developer token.
    void provideDebugToken(const QByteArray& token = "dev-token") { secrets.items.insert(debugTokenItem, token); }

    static app::GenerationSubmission recipe(const QString& prompt = QStringLiteral("a lighthouse in fog"))
    {
        app::GenerationSubmission submission;
        submission.prompt = prompt;
        submission.style = QStringLiteral("noir");
        submission.motion = QStringLiteral("push-in");
        submission.vibe = QStringLiteral("dreamy");
        submission.lite = true;
        submission.handle = QStringLiteral("@fog");
        submission.userID = QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
        return submission;
    }

    // Spins the event loop until the run ends (an event loop, not qWaitFor's 10 ms naps, keeps
    // a 179-poll run fast).
    bool finishes(app::GenerationStore& generation, int timeoutMs = 10000)
    {
        if (!generation.isRunning())
            return true;
        QEventLoop loop;
        QObject::connect(&generation, &app::GenerationStore::isRunningChanged, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        return !generation.isRunning();
    }

    std::vector<QJsonObject> generateBodies() const
    {
        std::vector<QJsonObject> bodies;
        for (const RecordedRequest& request : server.requestsTo("/generate"))
            bodies.push_back(QJsonDocument::fromJson(request.body).object());
        return bodies;
    }

    ManualClock clock;
    ManualSleeper sleeper { clock };
    app::GenerationStore store { auth, debugSources(), sleeper };
};

} // namespace quorvel::testing
