#pragma once
// One recipe as the generation job receives it.

#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <optional>

namespace quorvel::app {

struct DebugCredentials;

struct GenerationSubmission {
    QString prompt;
    QString style;
    QString motion;
    QString vibe;
    bool lite = false;
    // Always "none" in a submission that the store accepts.
    QString soundscape = QStringLiteral("none");
    QString handle;
    QString userID;
    bool debug = false;

    bool operator==(const GenerationSubmission&) const = default;
};

// The /generate body; the three debug keys appear only when credentials are sent.
QJsonObject generateBody(const GenerationSubmission& submission, const std::optional<DebugCredentials>& credentials);

} // namespace quorvel::app

Q_DECLARE_METATYPE(quorvel::app::GenerationSubmission)
