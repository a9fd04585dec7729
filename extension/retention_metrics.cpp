#include "extension/retention_metrics.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace quorvel::extension {
namespace {

// One lock per storage key for the whole process: the record's read-modify-write must not
// interleave between views (one per display) that share the key.
std::mutex& recordLock(const QString& storageKey)
{
    static std::mutex registryLock;
    static std::map<QString, std::unique_ptr<std::mutex>> locks;
    std::lock_guard guard(registryLock);
    auto& slot = locks[storageKey];
    if (!slot)
        slot = std::make_unique<std::mutex>();
    return *slot;
}

std::optional<qint64> integerValue(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != std::floor(number) || std::abs(number) > 9007199254740992.0)
        return std::nullopt;
    return static_cast<qint64>(number);
}

} // namespace

PreferenceRetentionStorage::PreferenceRetentionStorage(std::shared_ptr<platform::PreferenceSuite> suite)
    : suite_(std::move(suite))
{
}

std::optional<QByteArray> PreferenceRetentionStorage::read() const
{
    if (!suite_)
        return std::nullopt;
    const QVariant value = suite_->value(QLatin1String(kKey));
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

void PreferenceRetentionStorage::write(const QByteArray& bytes)
{
    if (!suite_)
        return;
    suite_->setValue(QLatin1String(kKey), bytes);
    suite_->synchronize();
}

QString PreferenceRetentionStorage::storageKey() const
{
    return QLatin1String(kKey);
}

RetentionRecord RetentionRecord::decode(const std::optional<QByteArray>& bytes)
{
    if (!bytes)
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isObject())
        return {};
    const QJsonObject object = document.object();
    const std::optional<qint64> schema = integerValue(object.value(QLatin1String("schema")));
    const QJsonValue firstSeen = object.value(QLatin1String("firstSeenDay"));
    const QJsonValue days = object.value(QLatin1String("days"));
    if (!schema || *schema != 1 || !firstSeen.isString() || !days.isObject())
        return {};
    RetentionRecord record;
    record.firstSeenDay = firstSeen.toString();
    const QJsonObject dayObject = days.toObject();
    for (auto it = dayObject.begin(); it != dayObject.end(); ++it) {
        const QJsonObject totals = it.value().toObject();
        const std::optional<qint64> sessions = integerValue(totals.value(QLatin1String("sessions")));
        const std::optional<qint64> seconds = integerValue(totals.value(QLatin1String("seconds")));
        if (!it.value().isObject() || !sessions || !seconds)
            return {};
        record.days[it.key()] = DayTotals { *sessions, *seconds };
    }
    return record;
}

QByteArray RetentionRecord::encode() const
{
    QJsonObject dayObject;
    for (const auto& [day, totals] : days)
        dayObject.insert(day,
            QJsonObject {
                { QStringLiteral("sessions"), totals.sessions }, { QStringLiteral("seconds"), totals.seconds } });
    const QJsonObject object { { QStringLiteral("schema"), schema }, { QStringLiteral("firstSeenDay"), firstSeenDay },
        { QStringLiteral("days"), dayObject } };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString retentionDayKey(const QDateTime& time)
{
    return time.toUTC().date().toString(QStringLiteral("yyyy-MM-dd"));
}

RetentionMetrics::RetentionMetrics(std::shared_ptr<RetentionMetricsStorage> storage, const platform::Clock& clock)
    : storage_(std::move(storage))
    , clock_(clock)
{
}

void RetentionMetrics::startSession()
{
    std::lock_guard guard(lock_);
    if (openSessionStart_)
        return;
    const QDateTime start = clock_.now();
    openSessionStart_ = start;
    std::lock_guard recordGuard(recordLock(storage_->storageKey()));
    RetentionRecord record = RetentionRecord::decode(storage_->read());
    if (record.firstSeenDay.isEmpty()) {
        record.firstSeenDay = retentionDayKey(start);
        storage_->write(record.encode());
    }
}

std::optional<qint64> RetentionMetrics::endSession()
{
    std::lock_guard guard(lock_);
    if (!openSessionStart_)
        return std::nullopt;
    const QDateTime start = *openSessionStart_;
    openSessionStart_.reset();

    const double elapsed = static_cast<double>(start.msecsTo(clock_.now())) / 1000.0;
    qint64 counted = 0;
    if (std::isfinite(elapsed) && elapsed > 0)
        counted = static_cast<qint64>(std::round(std::min(elapsed, kMaxSessionSeconds)));

    std::lock_guard recordGuard(recordLock(storage_->storageKey()));
    RetentionRecord record = RetentionRecord::decode(storage_->read());
    const QString day = retentionDayKey(start);
    DayTotals& totals = record.days[day];
    totals.sessions += 1;
    totals.seconds += counted;
    if (record.firstSeenDay.isEmpty())
        record.firstSeenDay = day;
    while (record.days.size() > static_cast<size_t>(kMaxDays))
        record.days.erase(record.days.begin());
    storage_->write(record.encode());
    return counted;
}

bool RetentionMetrics::hasOpenSession() const
{
    std::lock_guard guard(lock_);
    return openSessionStart_.has_value();
}

} // namespace quorvel::extension
