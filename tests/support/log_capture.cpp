#include "support/log_capture.h"

#include <QLoggingCategory>
#include <QMutex>

namespace quorvel::testing {

namespace {
QMutex mutex;
std::vector<CapturedLine> captured;
QtMessageHandler previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        QMutexLocker lock(&mutex);
        captured.push_back({ QString::fromUtf8(context.category ? context.category : ""), type, message });
    }
    if (qEnvironmentVariableIsSet("QUORVEL_TEST_ECHO_LOG") && previous)
        previous(type, context, message);
}
} // namespace

LogCapture::LogCapture()
{
    clear();
    // Debug lines are off by default; a capture wants every level.
    QLoggingCategory::setFilterRules(QStringLiteral("com.quorvel.*=true"));
    previous = qInstallMessageHandler(handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
}

std::vector<CapturedLine> LogCapture::lines() const
{
    QMutexLocker lock(&mutex);
    return captured;
}

QStringList LogCapture::messages(const QString& category) const
{
    QStringList out;
    for (const auto& line : lines())
        if (category.isEmpty() || line.category == category)
            out << line.message;
    return out;
}

bool LogCapture::contains(const QString& message) const
{
    return messages().contains(message);
}

void LogCapture::clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}

} // namespace quorvel::testing
