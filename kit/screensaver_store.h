#pragma once
// Names and small helpers shared by the screensaver manager's sources (not part of the kit's interface).

#include "kit/value_access.h"

#include <QString>
#include <QVariantMap>

#include <optional>

namespace quorvel::kit::store {

inline const QString kScreenSaverProvider = QStringLiteral("com.apple.wallpaper.choice.screen-saver");
inline const QString kLegacyDomain = QStringLiteral("com.apple.screensaver");

inline QString key(const char* text)
{
    return QString::fromLatin1(text);
}

// A slot dictionary to edit: the existing one, or a new individual slot.
inline QVariantMap slotOrNew(const QVariantMap& parent, const QString& name)
{
    if (const auto existing = value::map(parent.value(name)))
        return *existing;
    return { { key("Type"), QStringLiteral("individual") } };
}

// The configuration bytes as a dictionary; absent when they do not parse into one.
std::optional<QVariantMap> configurationDictionary(const QByteArray& bytes);
// The module name a configuration dictionary describes, if any.
std::optional<QString> describedModuleName(const QVariantMap& configuration);

} // namespace quorvel::kit::store
