#pragma once
// Fixed locations the kit works on, under the user's home. The modern-store rule (system version
// 14.0 or later) is asked of the operating system on every call; nothing is cached.

#include <QString>
#include <QStringList>

#include <memory>

namespace quorvel::platform {
class OperatingSystem;
}

namespace quorvel::kit {

class SystemPaths {
public:
    // `systemModuleDirectories` are the three fixed system folders searched before the user's.
    explicit SystemPaths(std::shared_ptr<const platform::OperatingSystem> os, QString home = {},
        QStringList systemModuleDirectories = defaultSystemModuleDirectories());

    static QStringList defaultSystemModuleDirectories();

    bool isModernStore() const;
    QString wallpaperIndexPath() const;
    // The search folders that exist right now, in search order.
    QStringList screensaverModulesDirectories() const;
    const QString& home() const { return home_; }

private:
    std::shared_ptr<const platform::OperatingSystem> os_;
    QString home_;
    QStringList systemModuleDirectories_;
};

} // namespace quorvel::kit
