#include "pluginkit/registry.h"

#include "kit/plist_manager.h"
#include "platform/plist_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUuid>

namespace quorvel::pluginkit {

namespace {

QString electionName(Election election)
{
    switch (election) {
    case Election::use:
        return QStringLiteral("use");
    case Election::ignore:
        return QStringLiteral("ignore");
    case Election::none:
        break;
    }
    return QStringLiteral("default");
}

Election electionFrom(const QString& name)
{
    if (name == QStringLiteral("use"))
        return Election::use;
    if (name == QStringLiteral("ignore"))
        return Election::ignore;
    return Election::none;
}

} // namespace

std::optional<BundleFacts> readBundle(const QString& bundlePath)
{
    QFile file(bundlePath + QStringLiteral("/Contents/Info.plist"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto parsed = platform::readPlist(file.read(4 * 1024 * 1024));
    if (!parsed.value || parsed.value->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap info = parsed.value->toMap();
    const QString identifier = info.value(QStringLiteral("CFBundleIdentifier")).toString();
    if (identifier.isEmpty())
        return std::nullopt;
    // The listed version is the one the app compares with its embedded copy's short version.
    QString version = info.value(QStringLiteral("CFBundleShortVersionString")).toString();
    if (version.isEmpty())
        version = info.value(QStringLiteral("CFBundleVersion")).toString();
    QString point = info.value(QStringLiteral("NSExtension"))
                        .toMap()
                        .value(QStringLiteral("NSExtensionPointIdentifier"))
                        .toString();
    // The screensaver point is this platform's only extension point; app extensions that do not
    // name one are registered under it.
    if (point.isEmpty() && bundlePath.endsWith(QStringLiteral(".appex"), Qt::CaseInsensitive))
        point = QStringLiteral("com.apple.screensaver");
    return BundleFacts { identifier, version, point };
}

namespace {

QString hex(QChar c)
{
    return QString::number(c.unicode(), 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

// Empty when `text` holds no control character or line separator, else which one.
QString unlistable(const QString& text)
{
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            return QStringLiteral("a control character (U+%1)").arg(hex(c));
    return {};
}

} // namespace

QString unlistableRegistration(const QString& path, const BundleFacts& facts)
{
    if (const QString why = unlistable(facts.identifier); !why.isEmpty())
        return QStringLiteral("its bundle identifier holds %1").arg(why);
    for (const QChar c : facts.identifier)
        if (c.isSpace() || c == QLatin1Char('(') || c == QLatin1Char(')'))
            return QStringLiteral("its bundle identifier holds white space or a parenthesis");
    if (const QString why = unlistable(facts.version); !why.isEmpty())
        return QStringLiteral("its version holds %1").arg(why);
    if (const QString why = unlistable(path); !why.isEmpty())
        return QStringLiteral("its path holds %1").arg(why);
    return {};
}

QString printable(const QString& text)
{
    QString out;
    for (const QChar c : text)
        out += unlistable(QString(c)).isEmpty() ? QString(c) : QStringLiteral("\\u") + hex(c);
    return out;
}

Registry::Registry(QString filePath)
    : filePath_(std::move(filePath))
{
}

QString Registry::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/quorvel/pluginkit/registrations.json");
}

bool Registry::load(QString* error)
{
    registrations_.clear();
    QFile file(filePath_);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the registry file %1 (%2)").arg(filePath_, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        *error = QStringLiteral("the registry file %1 is damaged (%2)").arg(filePath_, parseError.errorString());
        return false;
    }
    for (const QJsonValue& entry : document.object().value(QStringLiteral("registrations")).toArray()) {
        const QJsonObject o = entry.toObject();
        Registration r { o.value(QStringLiteral("path")).toString(), o.value(QStringLiteral("identifier")).toString(),
            o.value(QStringLiteral("version")).toString(), o.value(QStringLiteral("uuid")).toString(),
            o.value(QStringLiteral("extensionPoint")).toString(),
            electionFrom(o.value(QStringLiteral("election")).toString()),
            QDateTime::fromString(o.value(QStringLiteral("registered")).toString(), Qt::ISODate) };
        if (!r.path.isEmpty() && !r.identifier.isEmpty())
            registrations_.append(r);
    }
    return true;
}

bool Registry::save(QString* error) const
{
    QJsonArray entries;
    for (const Registration& r : registrations_)
        entries.append(QJsonObject { { QStringLiteral("path"), r.path }, { QStringLiteral("identifier"), r.identifier },
            { QStringLiteral("version"), r.version }, { QStringLiteral("uuid"), r.uuid },
            { QStringLiteral("extensionPoint"), r.extensionPoint },
            { QStringLiteral("election"), electionName(r.election) },
            { QStringLiteral("registered"), r.registered.toUTC().toString(Qt::ISODate) } });
    const QByteArray bytes = QJsonDocument(QJsonObject { { QStringLiteral("registrations"), entries } }).toJson();
    if (!QDir().mkpath(QFileInfo(filePath_).absolutePath())) {
        *error = QStringLiteral("cannot create the folder of %1").arg(filePath_);
        return false;
    }
    const QString failure = kit::writeFileAtomically(filePath_, bytes);
    if (!failure.isEmpty()) {
        *error = failure;
        return false;
    }
    return true;
}

void Registry::add(const QString& path, const BundleFacts& facts, const QDateTime& now)
{
    Registration r { path, facts.identifier, facts.version,
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), facts.extensionPoint, Election::none, now };
    for (qsizetype i = 0; i < registrations_.size(); ++i)
        if (registrations_[i].path == path) {
            r.uuid = registrations_[i].uuid;
            r.election = registrations_[i].election;
            registrations_.removeAt(i);
            break;
        }
    registrations_.append(r);
}

int Registry::remove(const QString& path)
{
    return int(registrations_.removeIf([&](const Registration& r) { return r.path == path; }));
}

int Registry::elect(const QString& identifier, Election election)
{
    int count = 0;
    for (Registration& r : registrations_)
        if (r.identifier == identifier) {
            r.election = election;
            ++count;
        }
    return count;
}

bool listable(const Registration& r)
{
    return unlistableRegistration(r.path, { r.identifier, r.version, r.extensionPoint }).isEmpty();
}

QString listingLine(const Registration& r, QChar mark, bool verbose)
{
    QString line
        = QString(mark) + QStringLiteral("    ") + r.identifier + QLatin1Char('(') + r.version + QLatin1Char(')');
    if (verbose)
        line += QLatin1Char('\t') + r.uuid + QLatin1Char('\t')
            + r.registered.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000\t")
            + r.path;
    return line;
}

} // namespace quorvel::pluginkit
