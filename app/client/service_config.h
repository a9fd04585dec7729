#pragma once
// Where the service lives and how long each kind of call may take.

#include <QString>

#include <chrono>

namespace quorvel::app {

struct ServiceConfig {
    // Origin of every endpoint, without a trailing slash; paths are appended as they are.
    QString baseUrl;
    // Every call unless stated otherwise.
    std::chrono::milliseconds requestTimeout { std::chrono::seconds(60) };
    // /enroll and /vet-prompt: the user is waiting on them.
    std::chrono::milliseconds shortTimeout { std::chrono::seconds(15) };
    // The job poll; without an explicit value a stalled poll would never end.
    std::chrono::milliseconds pollTimeout { std::chrono::seconds(60) };

    // The platform's base URL (build default or $QUORVEL_SERVICE_URL) with the standard timeouts.
    static ServiceConfig fromPlatform();
};

} // namespace quorvel::app
