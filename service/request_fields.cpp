#include "service/request_fields.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTextBoundaryFinder>

namespace quorvel::service {

QJsonObject jsonBody(const Request& request)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError)
        throw ApiError { ApiError::Code::BadJson,
            QStringLiteral("The request body is not valid JSON: %1.").arg(error.errorString()), {} };
    if (!document.isObject())
        throw ApiError { ApiError::Code::BadJson, QStringLiteral("The request body must be a JSON object."), {} };
    return document.object();
}

QString stringField(const QJsonObject& object, const QString& key, qsizetype maxLength)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        throw ApiError::badRequest(QStringLiteral("The field \"%1\" is missing.").arg(key));
    if (!value.isString())
        throw ApiError::badRequest(QStringLiteral("The field \"%1\" must be a string.").arg(key));
    const QString text = value.toString();
    if (text.size() > maxLength)
        throw ApiError::badRequest(
            QStringLiteral("The field \"%1\" is longer than %2 characters.").arg(key).arg(maxLength));
    return text;
}

qsizetype userCharacterCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString promptField(const QJsonObject& body, qsizetype maxCharacters, qsizetype maxBytes)
{
    // The body limit already bounds the field; this only keeps a runaway value from being copied.
    const QString prompt = stringField(body, QStringLiteral("prompt"), 64 * 1024).trimmed();
    if (prompt.isEmpty())
        throw ApiError::badRequest(QStringLiteral("Describe the wumble you want to create."));
    if (userCharacterCount(prompt) > maxCharacters)
        throw ApiError::badRequest(QStringLiteral("Keep the description under %1 characters.").arg(maxCharacters));
    // Few characters can still be many bytes: a letter may carry any number of combining marks.
    if (prompt.toUtf8().size() > maxBytes)
        throw ApiError::badRequest(
            QStringLiteral("This description is too long to send. Use fewer accents and emoji."));
    return prompt;
}

bool boolField(const QJsonObject& object, const QString& key, bool fallback)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return fallback;
    if (!value.isBool())
        throw ApiError::badRequest(QStringLiteral("The field \"%1\" must be true or false.").arg(key));
    return value.toBool();
}

QString requiredQuery(const Request& request, const QString& key)
{
    const auto value = request.queryValue(key);
    if (!value || value->isEmpty())
        throw ApiError::badRequest(QStringLiteral("The query parameter \"%1\" is missing.").arg(key));
    return *value;
}

} // namespace quorvel::service
