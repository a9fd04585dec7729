#include "platform/log.h"

#include <memory>
#include <vector>

namespace quorvel::platform {

namespace {
struct CategoryEntry {
    LogCategory category;
    const char* name;
};
constexpr CategoryEntry kCategories[] = {
    { LogCategory::HostApp, "com.quorvel.Quorvel.HostApp" },
    { LogCategory::AppLocation, "com.quorvel.Quorvel.AppLocation" },
    { LogCategory::PluginManager, "com.quorvel.Quorvel.PluginManager" },
    { LogCategory::Extension, "com.quorvel.Quorvel.Extension" },
    { LogCategory::ViewController, "com.quorvel.Quorvel.ViewController" },
    { LogCategory::View, "com.quorvel.Quorvel.View" },
    { LogCategory::Configuration, "com.quorvel.Quorvel.Configuration" },
    { LogCategory::Host, "com.quorvel.Quorvel.Host" },
    { LogCategory::Kit, "com.quorvel.Quorvel.Kit" },
};
} // namespace

const QLoggingCategory& loggingCategory(LogCategory category)
{
    // Built once; QLoggingCategory must outlive every message logged through it.
    static const auto* categories = [] {
        auto* list = new std::vector<std::unique_ptr<QLoggingCategory>>();
        for (const auto& entry : kCategories)
            list->push_back(std::make_unique<QLoggingCategory>(entry.name, QtInfoMsg));
        return list;
    }();
    return *categories->at(static_cast<size_t>(category));
}

QString loggingCategoryName(LogCategory category)
{
    return QString::fromLatin1(kCategories[static_cast<size_t>(category)].name);
}

namespace log {
void info(LogCategory category, const QString& message)
{
    qCInfo(loggingCategory(category)).noquote() << message;
}
void error(LogCategory category, const QString& message)
{
    qCCritical(loggingCategory(category)).noquote() << message;
}
void debug(LogCategory category, const QString& message)
{
    qCDebug(loggingCategory(category)).noquote() << message;
}
} // namespace log

} // namespace quorvel::platform
