// Enrollment, balance, the developer check and the checkout pages.
#include "service/request_fields.h"
#include "service/service_api.h"

#include <QRandomGenerator>
#include <QUrlQuery>

namespace quorvel::service {
namespace {

QString newToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return QString::fromLatin1(bytes.toHex());
}

// Compares without stopping at the first difference, so timing tells nothing about the secret.
bool constantTimeEquals(const QByteArray& a, const QByteArray& b)
{
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

struct Plan {
    QString name, price, period, note;
};

Plan planFor(const QString& key)
{
    if (key == QLatin1String("yearly"))
        return { QStringLiteral("Yearly"), QStringLiteral("$19.99"), QStringLiteral("/year"),
            QStringLiteral("$1.67/mo, billed yearly") };
    return { QStringLiteral("Monthly"), QStringLiteral("$1.99"), QStringLiteral("/month"),
        QStringLiteral("Billed monthly") };
}

QByteArray page(const QString& title, const QString& body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>%1</title>"
                          "<style>body{font-family:sans-serif;max-width:32em;margin:3em auto;padding:0 1em;color:#222}"
                          ".price{font-size:2em;font-weight:bold}code{background:#eee;padding:0 .3em}"
                          "button{font-size:1em;padding:.5em 1.2em}</style></head><body>%2</body></html>\n")
        .arg(title.toHtmlEscaped(), body)
        .toUtf8();
}

} // namespace

void ServiceApi::enroll(const Request& request, const Reply& reply)
{
    const QJsonObject body = jsonBody(request);
    const QString machine = stringField(body, QStringLiteral("machine"), 256);
    if (machine.trimmed().isEmpty())
        throw ApiError::badRequest(QStringLiteral("The field \"machine\" is empty."));
    store_.ensureAccount(machine, config_.freeCredits, isoDay(clock_.nowMs()));
    const QString token = newToken();
    store_.addToken(token, machine);
    reply.send(Response::json(200, { { "token", token } }));
}

void ServiceApi::balance(const Request& request, const Reply& reply)
{
    const QString machine = authenticate(request);
    requireSameUser(machine, requiredQuery(request, QStringLiteral("user")));
    const QString today = isoDay(clock_.nowMs());
    store_.ensureAccount(machine, config_.freeCredits, today);
    store_.refillIfDue(machine, kMonthlyCredits, today);
    const Account account = store_.account(machine).value();
    reply.send(Response::json(
        200, { { "credits", account.credits }, { "paid", account.paid }, { "resets", account.resets } }));
}

bool ServiceApi::debugPairMatches(const QString& machine, const QString& token) const
{
    if (config_.debugMachine.isEmpty() || config_.debugToken.isEmpty())
        return false;
    // Both halves are always compared, so a right machine with a wrong token takes as long.
    const bool machineOk = constantTimeEquals(machine.toLower().toUtf8(), config_.debugMachine.toLower().toUtf8());
    const bool tokenOk = constantTimeEquals(token.toUtf8(), config_.debugToken.toUtf8());
    return machineOk && tokenOk;
}

void ServiceApi::debugAccess(const Request& request, const Reply& reply)
{
    authenticate(request);
    const QJsonObject body = jsonBody(request);
    const QString machine = stringField(body, QStringLiteral("machine"), 256);
    const QString token = stringField(body, QStringLiteral("token"), 1024);
    reply.send(Response::json(200, { { "allowed", debugPairMatches(machine, token) } }));
}

void ServiceApi::checkoutPage(const QString& planKey, const Request& request, const Reply& reply)
{
    const Plan plan = planFor(planKey);
    const QString reference = request.queryValue(QStringLiteral("client_reference_id")).value_or(QString());
    QString body = QStringLiteral(
        "<h1>Quorvel %1</h1><p class=\"price\">%2<small>%3</small></p><p>%4 · %5 wumble credits every month</p>")
                       .arg(plan.name.toHtmlEscaped(), plan.price.toHtmlEscaped(), plan.period.toHtmlEscaped(),
                           plan.note.toHtmlEscaped())
                       .arg(kMonthlyCredits);
    if (reference.isEmpty()) {
        body += QStringLiteral("<p>No Mac was named for this checkout. Open it from the Quorvel app.</p>");
    } else {
        body += QStringLiteral("<p>For the Mac <code id=\"reference\">%1</code></p>"
                               "<form method=\"post\" action=\"/checkout/%2\">"
                               "<input type=\"hidden\" name=\"client_reference_id\" value=\"%1\">"
                               "<button type=\"submit\">Subscribe</button></form>")
                    .arg(reference.toHtmlEscaped(), planKey);
    }
    reply.send(Response::html(200, page(QStringLiteral("Quorvel %1 plan").arg(plan.name), body)));
}

void ServiceApi::checkoutConfirm(const QString& planKey, const Request& request, const Reply& reply)
{
    const Plan plan = planFor(planKey);
    // A form post: application/x-www-form-urlencoded, where "+" stands for a space.
    QByteArray form = request.body;
    form.replace('+', ' ');
    const QString reference
        = QUrlQuery(QString::fromUtf8(form)).queryItemValue(QStringLiteral("client_reference_id"), QUrl::FullyDecoded);
    if (reference.isEmpty() || !store_.subscribe(reference, planKey, kMonthlyCredits, isoDay(clock_.nowMs()))) {
        reply.send(Response::html(404,
            page(QStringLiteral("Checkout"),
                QStringLiteral("<h1>Unknown Mac</h1><p>This Mac hasn't been set up with Quorvel yet.</p>"))));
        return;
    }
    reply.send(Response::html(200,
        page(QStringLiteral("Subscribed"),
            QStringLiteral("<h1>You're on the %1 plan</h1><p>%2 wumble credits are loaded for "
                           "<code>%3</code>. You can close this page.</p>")
                .arg(plan.name.toHtmlEscaped())
                .arg(kMonthlyCredits)
                .arg(reference.toHtmlEscaped()))));
}

} // namespace quorvel::service
