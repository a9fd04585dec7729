#pragma once
// The kit's two error types. Every kit operation throws TessaryError; the registry queries throw
// PluginkitError. what() and errorDescription() give the exact user-facing message.

#include <QString>

#include <exception>
#include <string>

namespace quorvel::kit {

class TessaryError : public std::exception {
public:
    enum class Kind {
        unsupportedOperation,
        fileNotFound,
        permissionDenied,
        invalidConfiguration,
        plistReadError,
        plistWriteError,
        screensaverNotFound,
        displayNotFound,
        spaceNotFoundOnDisplay,
        unknownError,
        spaceNotFound,
        sonomaRequired,
        invalidScreenIdentifier,
        systemVersionDetectionFailed,
    };

    static TessaryError unsupportedOperation(const QString& text) { return { Kind::unsupportedOperation, text }; }
    // `path` is the URL's path (absolute file path).
    static TessaryError fileNotFound(const QString& path) { return { Kind::fileNotFound, path }; }
    static TessaryError permissionDenied(const QString& text) { return { Kind::permissionDenied, text }; }
    static TessaryError invalidConfiguration(const QString& text) { return { Kind::invalidConfiguration, text }; }
    static TessaryError plistReadError(const QString& text) { return { Kind::plistReadError, text }; }
    static TessaryError plistWriteError(const QString& text) { return { Kind::plistWriteError, text }; }
    static TessaryError screensaverNotFound(const QString& name) { return { Kind::screensaverNotFound, name }; }
    static TessaryError displayNotFound(int displayNumber) { return { Kind::displayNotFound, {}, displayNumber }; }
    static TessaryError spaceNotFoundOnDisplay(int displayNumber, int spaceNumber)
    {
        return { Kind::spaceNotFoundOnDisplay, {}, displayNumber, spaceNumber };
    }
    // Wraps another error by its localized description.
    static TessaryError unknownError(const QString& otherDescription)
    {
        return { Kind::unknownError, otherDescription };
    }
    static TessaryError spaceNotFound() { return { Kind::spaceNotFound }; }
    static TessaryError sonomaRequired() { return { Kind::sonomaRequired }; }
    static TessaryError invalidScreenIdentifier() { return { Kind::invalidScreenIdentifier }; }
    static TessaryError systemVersionDetectionFailed() { return { Kind::systemVersionDetectionFailed }; }
    // A completed rollback after a failed verification (the change did not take).
    static TessaryError changeRolledBack()
    {
        return { Kind::unsupportedOperation, {}, 0, 0,
            QStringLiteral("Couldn't make the screensaver change; the previous settings were restored.") };
    }

    Kind kind() const { return kind_; }
    const QString& text() const { return text_; }
    int displayNumber() const { return first_; }
    int spaceNumber() const { return second_; }
    QString errorDescription() const;
    const char* what() const noexcept override { return what_.c_str(); }

private:
    TessaryError(Kind kind, QString text = {}, int first = 0, int second = 0, QString overrideMessage = {});
    Kind kind_;
    QString text_;
    int first_ = 0;
    int second_ = 0;
    QString message_;
    std::string what_;
};

class PluginkitError : public std::exception {
public:
    enum class Kind { commandFailed, extensionNotFound };
    static PluginkitError commandFailed(const QString& output) { return { Kind::commandFailed, output }; }
    static PluginkitError extensionNotFound(const QString& identifier)
    {
        return { Kind::extensionNotFound, identifier };
    }

    Kind kind() const { return kind_; }
    const QString& text() const { return text_; }
    QString errorDescription() const;
    const char* what() const noexcept override { return what_.c_str(); }

private:
    PluginkitError(Kind kind, QString text);
    Kind kind_;
    QString text_;
    std::string what_;
};

// The localized description of any error the kit may meet (for "Unknown error: " and log lines).
QString describeError(const std::exception& error);

} // namespace quorvel::kit

namespace quorvel::kit {

// A platform failure passed through as the platform reports it (copying the backup, creating the
// store's folder, restoring, starting a tool).
class PlatformError : public std::exception {
public:
    explicit PlatformError(QString message)
        : message_(std::move(message))
        , what_(message_.toStdString())
    {
    }
    const QString& errorDescription() const { return message_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    QString message_;
    std::string what_;
};

} // namespace quorvel::kit
