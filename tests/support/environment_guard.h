#pragma once
// Restores one environment variable (or its absence) when the test that changed it ends.

#include <QByteArray>
#include <QtGlobal>

namespace quorvel::testing {

class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char* name)
        : name_(name)
        , had_(qEnvironmentVariableIsSet(name))
        , old_(qgetenv(name))
    {
    }
    ~EnvironmentGuard() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

} // namespace quorvel::testing
