#pragma once
// Facts about the running system and about application bundles.

#include <QString>

#include <optional>

namespace quorvel::platform {

struct OperatingSystemVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    bool atLeast(int maj, int min, int pat = 0) const
    {
        if (major != maj)
            return major > maj;
        if (minor != min)
            return minor > min;
        return patch >= pat;
    }
};

struct BundleInfo {
    QString bundlePath; // ".../Quorvel.app"
    QString identifier; // CFBundleIdentifier
    std::optional<QString> version; // CFBundleVersion
    std::optional<QString> shortVersion; // CFBundleShortVersionString
    QString plugInsPath; // ".../Contents/PlugIns"
    QString executablePath; // ".../Contents/MacOS/<CFBundleExecutable>"
};

class OperatingSystem {
public:
    virtual ~OperatingSystem() = default;
    // The version that decides between the modern wallpaper store and the legacy preferences; 14.0.0 here.
    virtual OperatingSystemVersion version() const = 0;
    // The bundle the running executable lives in; none when it does not run from a bundle.
    virtual std::optional<BundleInfo> mainBundle() const = 0;
    // Any bundle by path, from its "Contents/Info.plist"; none when it has none or it does not parse.
    virtual std::optional<BundleInfo> bundle(const QString& bundlePath) const = 0;
};

class LinuxOperatingSystem final : public OperatingSystem {
public:
    OperatingSystemVersion version() const override;
    std::optional<BundleInfo> mainBundle() const override;
    std::optional<BundleInfo> bundle(const QString& bundlePath) const override;
};

} // namespace quorvel::platform
