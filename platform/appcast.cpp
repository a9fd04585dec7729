#include "platform/appcast.h"

#include <QStringList>
#include <QXmlStreamReader>

namespace quorvel::platform::detail {

namespace {

// Leading digits of one component, so "3b1" counts as 3 and garbage as 0.
qulonglong numericPart(const QString& component)
{
    qsizetype digits = 0;
    while (digits < component.size() && digits < 18 && component.at(digits).isDigit())
        ++digits;
    return digits == 0 ? 0 : component.left(digits).toULongLong();
}

} // namespace

std::variant<QList<AppcastItem>, QString> parseAppcast(const QByteArray& bytes)
{
    QList<AppcastItem> items;
    QXmlStreamReader reader(bytes);
    const QString ns = QString::fromLatin1(kAppcastNamespace);
    bool sawRss = false;
    int itemDepth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (reader.name() == QLatin1String("rss"))
                sawRss = true;
            else if (reader.name() == QLatin1String("item"))
                ++itemDepth;
            else if (itemDepth > 0 && reader.name() == QLatin1String("enclosure")) {
                const auto attributes = reader.attributes();
                AppcastItem item { attributes.value(ns, QStringLiteral("version")).toString().trimmed(),
                    attributes.value(ns, QStringLiteral("shortVersionString")).toString().trimmed(),
                    QUrl(attributes.value(QStringLiteral("url")).toString().trimmed()) };
                const QString scheme = item.downloadUrl.scheme();
                if (!item.version.isEmpty() && item.downloadUrl.isValid()
                    && (scheme == QLatin1String("https") || scheme == QLatin1String("http")))
                    items.append(item);
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("item") && itemDepth > 0) {
            --itemDepth;
        }
    }
    if (reader.hasError())
        return QStringLiteral("The update feed could not be read: %1").arg(reader.errorString());
    if (!sawRss)
        return QStringLiteral("The update feed is not an RSS document.");
    return items;
}

int compareVersions(const QString& left, const QString& right)
{
    const QStringList a = left.split(QLatin1Char('.'));
    const QStringList b = right.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        const qulonglong x = i < a.size() ? numericPart(a.at(i)) : 0;
        const qulonglong y = i < b.size() ? numericPart(b.at(i)) : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

} // namespace quorvel::platform::detail
