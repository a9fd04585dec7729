#pragma once
// The registry tool's listing as the app reads it: one entry per line of this extension, the entry
// the app goes by, and whether the embedded copy has to be registered again.

#include <QList>
#include <QString>

#include <exception>
#include <optional>
#include <string>

namespace quorvel::app {

// The registry's election of one entry, from the mark in the first column of its line.
enum class PluginElection { active, ignored, superseded };

// "active", "ignored", "superseded".
QString electionName(PluginElection election);

struct Registration {
    std::optional<QString> path;
    std::optional<QString> version;
    PluginElection election = PluginElection::active;
    bool operator==(const Registration&) const = default;
};

// The entry a line lists, none when the line is not an entry of `bundleIdentifier` itself: the
// identifier (after an optional one-character mark) must equal it exactly, so "x.<identifier>" or
// "<identifier>.Other" are foreign, and a line with a control character other than a tab is malformed.
std::optional<Registration> parsePluginkitLine(const QString& line, const QString& bundleIdentifier);

// Every entry of `bundleIdentifier` in a listing, in line order.
QList<Registration> registrationsIn(const QString& output, const QString& bundleIdentifier);

// The entry at `embeddedPath` when there is one, else the first active entry, else the first.
std::optional<Registration> chooseRegistration(
    const QList<Registration>& entries, const std::optional<QString>& embeddedPath);

// True when the registry points at another copy (a listed embedded copy that another one supersedes
// included) or another version (any difference, downgrades too) of the embedded extension; never
// for an extension that is not registered at all.
bool needsReregistration(const std::optional<Registration>& registered, const std::optional<QString>& embeddedPath,
    const std::optional<QString>& embeddedVersion);

class PluginError : public std::exception {
public:
    enum class Kind { commandFailed, embeddedExtensionNotFound, launchFailed };

    // "<last path component of the command line> exited with status <n>[: <trimmed output>]".
    static PluginError commandFailed(const QString& commandLine, qint32 status, const QString& output);
    static PluginError embeddedExtensionNotFound();
    // The tool could not be started; the platform's own text.
    static PluginError launchFailed(const QString& platformText);

    Kind kind() const { return kind_; }
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    PluginError(Kind kind, QString message);
    Kind kind_;
    QString message_;
    std::string what_;
};

} // namespace quorvel::app
