#include "host/saver_settings.h"

#include "host/idle_agent.h"
#include "kit/tessary.h"

#include <QPointer>

#include <exception>

namespace quorvel::saver {
namespace {

constexpr qint64 kListedMinutes[] = { 1, 2, 5, 10, 20, 30, 60 };

} // namespace

QString idleTimeTitle(qint64 seconds)
{
    if (seconds == 0)
        return QStringLiteral("Never");
    if (seconds == 60)
        return QStringLiteral("1 minute");
    if (seconds % 60 == 0)
        return QStringLiteral("%1 minutes").arg(seconds / 60);
    return seconds == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds);
}

SaverSettings::SaverSettings(kit::Tessary& kit, const ModuleElections& elections, QObject* parent)
    : QObject(parent)
    , kit_(kit)
    , elections_(elections)
{
    loadIdleTime();
}

void SaverSettings::loadIdleTime()
{
    const qint64 current = effectiveIdleTime(kit_.getIdleTime()).count();
    choices_.clear();
    for (const qint64 minutes : kListedMinutes)
        choices_.append({ idleTimeTitle(minutes * 60), minutes * 60 });
    choices_.append({ idleTimeTitle(0), 0 });
    current_ = -1;
    for (qsizetype i = 0; i < choices_.size(); ++i)
        if (choices_[i].seconds == current)
            current_ = int(i);
    if (current_ < 0) {
        // Set elsewhere (--idle-time): shown as itself, in order among the listed times.
        qsizetype at = 0;
        while (at < choices_.size() - 1 && choices_[at].seconds < current)
            ++at;
        choices_.insert(at, { idleTimeTitle(current), current });
        current_ = int(at);
    }
}

void SaverSettings::chooseIdleTime(int index)
{
    if (index < 0 || index >= choices_.size() || index == current_)
        return;
    try {
        kit_.setIdleTime(choices_[index].seconds);
        idleTimeError_.clear();
        current_ = index;
    } catch (const std::exception& error) {
        idleTimeError_ = QString::fromUtf8(error.what());
    }
    emit changed();
}

QCoro::Task<> SaverSettings::refreshElection()
{
    QPointer<SaverSettings> self(this);
    const ElectionReading reading = co_await elections_.election(QString::fromLatin1(kExtensionIdentifier));
    if (!self)
        co_return;
    election_ = reading.election;
    electionError_ = reading.error;
    emit changed();
}

QCoro::Task<> SaverSettings::turnOn(bool on)
{
    if (electing_)
        co_return;
    QPointer<SaverSettings> self(this);
    electing_ = true;
    electionError_.clear();
    emit changed();
    const std::optional<QString> failure = co_await elections_.elect(QString::fromLatin1(kExtensionIdentifier), on);
    if (!self)
        co_return;
    co_await refreshElection();
    if (!self)
        co_return;
    if (failure)
        electionError_ = *failure;
    electing_ = false;
    emit changed();
}

} // namespace quorvel::saver
