#pragma once
// The unified-log stand-in: subsystem "com.quorvel.Quorvel", one Qt logging category per area
// ("com.quorvel.Quorvel.<Category>"). Info and error lines are on by default, debug lines only
// through QT_LOGGING_RULES (for example 'com.quorvel.*=true').

#include <QLoggingCategory>
#include <QString>

namespace quorvel::platform {

enum class LogCategory {
    HostApp,
    AppLocation,
    PluginManager,
    Extension,
    ViewController,
    View,
    Configuration,
    Host, // quorvel-saver
    Kit, // diagnostics of the store kit that are not its printed lines
};

const QLoggingCategory& loggingCategory(LogCategory category);
// "com.quorvel.Quorvel.View" and so on.
QString loggingCategoryName(LogCategory category);

namespace log {
void info(LogCategory category, const QString& message);
void error(LogCategory category, const QString& message);
void debug(LogCategory category, const QString& message);
} // namespace log

} // namespace quorvel::platform
