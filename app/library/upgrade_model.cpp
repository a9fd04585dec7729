#include "app/library/upgrade_model.h"

#include "app/client/auth_store.h"
#include "app/client/balance_reply.h"
#include "platform/log.h"
#include "platform/workspace.h"

#include <QPointer>

namespace quorvel::library {

const std::array<Feature, 4>& upgradeFeatures()
{
    static const std::array<Feature, 4> features {
        Feature { QStringLiteral("globe"), QStringLiteral("Posting into the void, except it plays"),
            QStringLiteral("Publish it and your wumble joins the feed that runs on every Quorvel Mac") },
        Feature { QStringLiteral("person.crop.rectangle"), QStringLiteral("Main character of the feed"),
            QStringLiteral("Your handle sits on screen the whole time your wumble plays. Signed, like art") },
        Feature { QStringLiteral("dice"), QStringLiteral("Cook your own, or let it cook"),
            QStringLiteral("Write the scene or roll the dice: 18 styles, 11 camera moves, 9 vibes") },
        Feature { QStringLiteral("bolt.circle"), QStringLiteral("A responsible amount of wumble"),
            QStringLiteral("8 credits a month, refilled automatically. Lite costs 1, Standard costs 5") },
    };
    return features;
}

std::array<Plan, 2> upgradePlans(const app::ServiceConfig& config)
{
    const QString checkout = config.baseUrl + QStringLiteral("/checkout/");
    return {
        Plan { QStringLiteral("monthly"), QStringLiteral("Monthly"), QStringLiteral("$1.99"), QStringLiteral("/month"),
            QStringLiteral("Billed monthly"), std::nullopt, QStringLiteral("Go monthly"),
            checkout + QStringLiteral("monthly") },
        Plan { QStringLiteral("yearly"), QStringLiteral("Yearly"), QStringLiteral("$19.99"), QStringLiteral("/year"),
            QStringLiteral("$1.67/mo, billed yearly"), QStringLiteral("BEST VALUE · SAVE $3.89"),
            QStringLiteral("Go yearly"), checkout + QStringLiteral("yearly") },
    };
}

QString creditsLoadedText(qint64 credits)
{
    return app::creditCountText(credits) + QStringLiteral(" loaded");
}

std::optional<QUrl> checkoutAddress(const QString& page, const QString& machine)
{
    const qsizetype hash = page.indexOf(QLatin1Char('#'));
    const QString beforeFragment = hash < 0 ? page : page.left(hash);
    const QString fragment = hash < 0 ? QString() : page.mid(hash);
    const QChar joiner = beforeFragment.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?');
    const QString address = beforeFragment + joiner + QStringLiteral("client_reference_id=")
        + QString::fromLatin1(QUrl::toPercentEncoding(machine)) + fragment;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    return url;
}

UpgradeModel::UpgradeModel(app::AuthStore& auth, platform::Workspace& workspace, QObject* parent)
    : QObject(parent)
    , auth_(auth)
    , workspace_(workspace)
    , plans_(upgradePlans(auth.config()))
{
}

std::optional<SymbolLine> UpgradeModel::balanceLine() const
{
    if (!balanceLoaded_)
        return std::nullopt;
    const bool hasCredits = credits_ && *credits_ > 0;
    if (hasCredits && paid_)
        return SymbolLine { creditsLoadedText(*credits_), QStringLiteral("bolt.circle") };
    if (hasCredits)
        return SymbolLine { upgradeTexts::unspentFree, QStringLiteral("bolt.circle") };
    return SymbolLine { paid_ ? upgradeTexts::outPaid : upgradeTexts::outFree, QStringLiteral("heart") };
}

QCoro::Task<> UpgradeModel::loadBalance()
{
    QPointer<UpgradeModel> self(this);
    const quint64 id = ++loadId_;
    const app::AuthorizedResult result = co_await auth_.balance();
    if (!self || id != loadId_)
        co_return;
    if (const std::optional<QString> failure = result.failure()) {
        platform::log::error(platform::LogCategory::HostApp, upgradeTexts::balanceFailedLog.arg(*failure));
        co_return;
    }
    const std::optional<app::BalanceReply> reply = app::readBalance(result);
    if (!reply)
        co_return;
    credits_ = reply->credits;
    paid_ = reply->paid;
    balanceLoaded_ = true;
    emit changed();
}

bool UpgradeModel::openCheckout(const QString& page)
{
    const std::optional<QUrl> address = checkoutAddress(page, auth_.machineIdentifier());
    if (!address)
        return false;
    return workspace_.openURL(*address);
}

} // namespace quorvel::library
