#pragma once
// The update feed: an RSS 2.0 document whose items carry an enclosure such as
//   <enclosure url="https://…/Quorvel-1.2.zip" quorvel:version="42" quorvel:shortVersionString="1.2"/>
// with xmlns:quorvel="https://quorvel.com/xml-namespaces/appcast".

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <variant>

namespace quorvel::platform::detail {

inline constexpr const char* kAppcastNamespace = "https://quorvel.com/xml-namespaces/appcast";

struct AppcastItem {
    QString version; // compared against the running build
    QString shortVersion; // shown to people; may be empty
    QUrl downloadUrl; // always http or https
};

// Items with a version and an http(s) download link, in document order; an error text when the
// bytes are not a well-formed feed.
std::variant<QList<AppcastItem>, QString> parseAppcast(const QByteArray& bytes);

// Dotted numeric comparison ("1.10" > "1.9", "1.0" == "1"); negative, zero or positive.
int compareVersions(const QString& left, const QString& right);

} // namespace quorvel::platform::detail
