#include "platform/clock.h"

#include <QCoroTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace quorvel::platform {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

std::chrono::milliseconds SystemClock::monotonic() const
{
    static const QElapsedTimer start = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return std::chrono::milliseconds(start.elapsed());
}

QCoro::Task<bool> TimerSleeper::sleep(std::chrono::milliseconds duration)
{
    co_await QCoro::sleepFor(duration);
    co_return true;
}

void TimerSleeper::schedule(std::chrono::milliseconds delay, QObject* context, std::function<void()> action)
{
    QTimer::singleShot(delay, context, std::move(action));
}

void TimerSleeper::sleepBlocking(std::chrono::milliseconds duration)
{
    QThread::msleep(duration.count());
}

} // namespace quorvel::platform
