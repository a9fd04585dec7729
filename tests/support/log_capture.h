#pragma once
// Records every Qt log line while alive (and still lets them reach stderr when asked).

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

namespace quorvel::testing {

struct CapturedLine {
    QString category; // "com.quorvel.Quorvel.View"
    QtMsgType type; // QtInfoMsg, QtCriticalMsg (error), QtDebugMsg
    QString message;
};

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<CapturedLine> lines() const;
    // Messages of one category (all categories when empty), in order.
    QStringList messages(const QString& category = {}) const;
    bool contains(const QString& message) const;
    void clear();
};

} // namespace quorvel::testing
