#pragma once
// Reading request bodies and fields; every failure throws the ApiError the client should see.

#include "service/http_types.h"

#include <QJsonObject>

namespace quorvel::service {

// The body as a JSON object; BadJson when it is not one.
QJsonObject jsonBody(const Request& request);
// A string field; BadRequest when missing, not a string, or longer than `maxLength`.
QString stringField(const QJsonObject& object, const QString& key, qsizetype maxLength = 4096);
// However few characters a prompt has, its UTF-8 form stays within this: one character may carry
// any number of combining marks. 16 bytes a character on average leaves room for flags and joined
// emoji, and keeps a whole submission well inside the request body limit.
constexpr qsizetype kMaxPromptBytes = 32 * 1024;

// Characters as a person counts them: grapheme clusters, so an emoji, a flag or a letter with its
// combining marks is one character however many UTF-16 units it takes.
qsizetype userCharacterCount(const QString& text);
// The submission's prompt, trimmed of white space at both ends. BadRequest when missing, not a
// string, blank, over `maxCharacters` characters as counted above, or over `maxBytes` in UTF-8.
QString promptField(const QJsonObject& body, qsizetype maxCharacters, qsizetype maxBytes = kMaxPromptBytes);
// A boolean field; `fallback` when absent, BadRequest when of another type.
bool boolField(const QJsonObject& object, const QString& key, bool fallback);
// A query value; BadRequest when absent or empty.
QString requiredQuery(const Request& request, const QString& key);

} // namespace quorvel::service
