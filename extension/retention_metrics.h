#pragma once
// Counts full-screen screensaver sessions per UTC day, with their total whole seconds.

#include "platform/clock.h"
#include "platform/preferences.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace quorvel::extension {

// Where the encoded record lives. `storageKey` names the record: every storage with the same key
// shares one lock per process, so separate metrics objects never lose each other's sessions.
class RetentionMetricsStorage {
public:
    virtual ~RetentionMetricsStorage() = default;
    // None when nothing is stored.
    virtual std::optional<QByteArray> read() const = 0;
    virtual void write(const QByteArray& bytes) = 0;
    virtual QString storageKey() const = 0;
};

// The record under "retention.screensaverSessions.v1" of a preference suite (the extension's standard one).
class PreferenceRetentionStorage final : public RetentionMetricsStorage {
public:
    static constexpr const char* kKey = "retention.screensaverSessions.v1";
    explicit PreferenceRetentionStorage(std::shared_ptr<platform::PreferenceSuite> suite);
    std::optional<QByteArray> read() const override;
    void write(const QByteArray& bytes) override;
    QString storageKey() const override;

private:
    std::shared_ptr<platform::PreferenceSuite> suite_;
};

struct DayTotals {
    qint64 sessions = 0;
    qint64 seconds = 0;
};

struct RetentionRecord {
    qint64 schema = 1;
    QString firstSeenDay;
    std::map<QString, DayTotals> days; // ordered by day key, which sorts chronologically

    // A fresh record for missing, undecodable or foreign-schema bytes.
    static RetentionRecord decode(const std::optional<QByteArray>& bytes);
    QByteArray encode() const;
};

// "yyyy-MM-dd" of `time` in UTC.
QString retentionDayKey(const QDateTime& time);

class RetentionMetrics {
public:
    static constexpr int kMaxDays = 60;
    static constexpr double kMaxSessionSeconds = 86400.0;

    RetentionMetrics(std::shared_ptr<RetentionMetricsStorage> storage, const platform::Clock& clock);

    // Opens a session now unless one is open; records the first day seen.
    void startSession();
    // Closes and records the open session; the whole seconds counted, none when no session was open.
    std::optional<qint64> endSession();

    bool hasOpenSession() const;

private:
    std::shared_ptr<RetentionMetricsStorage> storage_;
    const platform::Clock& clock_;
    mutable std::mutex lock_;
    std::optional<QDateTime> openSessionStart_;
};

} // namespace quorvel::extension
