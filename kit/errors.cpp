#include "kit/errors.h"

namespace quorvel::kit {

TessaryError::TessaryError(Kind kind, QString text, int first, int second, QString overrideMessage)
    : kind_(kind)
    , text_(std::move(text))
    , first_(first)
    , second_(second)
    , message_(std::move(overrideMessage))
{
    what_ = errorDescription().toStdString();
}

QString TessaryError::errorDescription() const
{
    if (!message_.isEmpty())
        return message_;
    switch (kind_) {
    case Kind::unsupportedOperation:
        return QStringLiteral("Unsupported operation: ") + text_;
    case Kind::fileNotFound:
        return QStringLiteral("File not found: ") + text_;
    case Kind::permissionDenied:
        return QStringLiteral("Permission denied: ") + text_;
    case Kind::invalidConfiguration:
        return QStringLiteral("Invalid configuration: ") + text_;
    case Kind::plistReadError:
        return QStringLiteral("Failed to read plist: ") + text_;
    case Kind::plistWriteError:
        return QStringLiteral("Failed to write plist: ") + text_;
    case Kind::screensaverNotFound:
        return QStringLiteral("Screensaver not found: ") + text_;
    case Kind::displayNotFound:
        return QStringLiteral("Display %1 not found").arg(first_);
    case Kind::spaceNotFoundOnDisplay:
        return QStringLiteral("Space %1 not found on Display %2").arg(second_).arg(first_);
    case Kind::unknownError:
        return QStringLiteral("Unknown error: ") + text_;
    case Kind::spaceNotFound:
        return QStringLiteral("Space not found");
    case Kind::sonomaRequired:
        return QStringLiteral("This feature requires macOS 14.0 (Sonoma) or later");
    case Kind::invalidScreenIdentifier:
        return QStringLiteral("Invalid screen identifier provided");
    case Kind::systemVersionDetectionFailed:
        return QStringLiteral("Failed to detect macOS version");
    }
    return {};
}

PluginkitError::PluginkitError(Kind kind, QString text)
    : kind_(kind)
    , text_(std::move(text))
{
    what_ = errorDescription().toStdString();
}

QString PluginkitError::errorDescription() const
{
    switch (kind_) {
    case Kind::commandFailed:
        return QStringLiteral("pluginkit command failed: ") + text_;
    case Kind::extensionNotFound:
        return QStringLiteral("Extension not found: ") + text_;
    }
    return {};
}

QString describeError(const std::exception& error)
{
    if (const auto* tessary = dynamic_cast<const TessaryError*>(&error))
        return tessary->errorDescription();
    if (const auto* pluginkit = dynamic_cast<const PluginkitError*>(&error))
        return pluginkit->errorDescription();
    return QString::fromUtf8(error.what());
}

} // namespace quorvel::kit
