#pragma once
// The plug-in registry of this platform: registrations kept in one JSON file, rewritten whole
// through a temporary file and a rename, under a lock so concurrent tool runs never lose one.

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace quorvel::pluginkit {

enum class Election { none, use, ignore };

struct Registration {
    QString path;
    QString identifier;
    QString version;
    QString uuid;
    QString extensionPoint;
    Election election = Election::none;
    QDateTime registered;
};

struct BundleFacts {
    QString identifier;
    QString version;
    QString extensionPoint;
};

// Identifier, version and extension point from "<bundle>/Contents/Info.plist"; none when the
// bundle has no readable Info.plist with a CFBundleIdentifier.
std::optional<BundleFacts> readBundle(const QString& bundlePath);

// Why the registration of the bundle at `path` cannot be listed faithfully, empty when it can.
// The listing is one line per registration with tab-separated fields and the identifier right
// before "(version)": a control character (a tab or a line break above all) in the identifier,
// the version or the path, or white space or a parenthesis in the identifier, would let one
// registration print a line that reads as another.
QString unlistableRegistration(const QString& path, const BundleFacts& facts);
// Whether a registration read from the file can be listed (an older tool may have written it).
bool listable(const Registration& registration);
// `text` with its control characters escaped, for error messages.
QString printable(const QString& text);

class Registry {
public:
    explicit Registry(QString filePath);
    static QString defaultFilePath();

    // Loads the file; a missing file is an empty registry. False (with `error`) when it is unreadable.
    bool load(QString* error);
    bool save(QString* error) const;

    // Adds or refreshes the registration of the bundle at `path` (it becomes the newest).
    void add(const QString& path, const BundleFacts& facts, const QDateTime& now);
    // Removes the registrations at `path`; returns how many there were.
    int remove(const QString& path);
    // Sets the election of every registration of `identifier`; returns how many there were.
    int elect(const QString& identifier, Election election);

    const QList<Registration>& registrations() const { return registrations_; }
    const QString& filePath() const { return filePath_; }

private:
    QString filePath_;
    QList<Registration> registrations_; // oldest first
};

// One verbose listing line: "<mark>    <identifier>(<version>)\t<uuid>\t<date>\t<path>".
QString listingLine(const Registration& registration, QChar mark, bool verbose);

} // namespace quorvel::pluginkit
