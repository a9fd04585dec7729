#pragma once
// The service's own copy of the recipe keys it accepts, and the words its vetting refuses.

#include <QColor>
#include <QString>
#include <QStringList>

#include <utility>

namespace quorvel::service::vocabulary {

const QStringList& styles();
const QStringList& motions();
const QStringList& vibes();

// Two colours that stand for a vibe in rendered clips; grey pair for an unknown key.
std::pair<QColor, QColor> vibeColors(const QString& vibe);
// Two colours for a style's thumbnail; grey pair for an unknown key.
std::pair<QColor, QColor> styleColors(const QString& style);

// True when the text contains a refused word (whole words, case-insensitive). Deterministic.
bool isRefused(const QString& text);

} // namespace quorvel::service::vocabulary
