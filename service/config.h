#pragma once
// The service's command line.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace quorvel::service {

inline constexpr int kLiteCost = 1;
inline constexpr int kStandardCost = 5;
inline constexpr int kMonthlyCredits = 8;
inline constexpr int kDefaultFreeCredits = 1;

struct Release {
    int build = 0; // the app's CFBundleVersion
    QString shortVersion; // "1.0.0"
};

struct ServiceConfig {
    QString dataDir;
    quint16 port = 0;
    bool instant = false;
    QString debugMachine; // both empty: no developer machine is allowed
    QString debugToken;
    std::optional<int> minBuild;
    int freeCredits = kDefaultFreeCredits;
    QString publicUrl; // origin the replies point at; defaults to http://127.0.0.1:<port>
    QString location = QStringLiteral("Localhost");
    QList<Release> releases { { 1, QStringLiteral("1.0.0") } };
    QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");
};

// The configuration, or the text to print for a wrong command line.
std::variant<ServiceConfig, QString> parseArguments(const QStringList& arguments);

} // namespace quorvel::service
