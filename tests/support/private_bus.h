#pragma once
// A D-Bus daemon of the test's own, so stand-ins for desktop and system services never meet the
// machine's real ones. Ended with the object.

#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

namespace quorvel::testing {

class PrivateBus {
public:
    PrivateBus()
    {
        daemon_.start(QStringLiteral("/usr/bin/dbus-daemon"),
            { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                QStringLiteral("--print-address=1") });
        if (daemon_.waitForReadyRead(10000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        EXPECT_FALSE(address_.isEmpty()) << "dbus-daemon did not start: " << daemon_.errorString().toStdString();
    }
    ~PrivateBus()
    {
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000))
            daemon_.kill();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the daemon did not start (the constructor has failed the test then).
    QString address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

} // namespace quorvel::testing
