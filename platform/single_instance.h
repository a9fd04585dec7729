#pragma once
// One running copy of the application per user: a later launch hands over to the running one,
// which raises its main window, and then ends.

#include <QObject>
#include <QString>

namespace quorvel::platform {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Primary, // this process is the one; later launches reach it through activationRequested
        HandedOver, // another copy runs and was asked to come forward; this process should end
        Unavailable, // neither could be arranged; run without the guarantee
    };

    using QObject::QObject;
    virtual Claim claim() = 0;
    // Stops answering later launches, so a successor started now can become the primary.
    virtual void release() = 0;

signals:
    // A later launch asked this (primary) process to come forward.
    void activationRequested();
};

// A lock file and a local socket named `name` in `directory` (default $XDG_RUNTIME_DIR/quorvel).
// The lock decides who is primary; a lock left by a crashed process counts as free.
class LocalSocketSingleInstance final : public SingleInstance {
    Q_OBJECT
public:
    explicit LocalSocketSingleInstance(QString name, QString directory = {}, QObject* parent = nullptr);
    ~LocalSocketSingleInstance() override;
    Claim claim() override;
    void release() override;

private:
    struct State;
    State* state_;
};

} // namespace quorvel::platform
