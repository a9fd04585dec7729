#pragma once
// The "upgrade" window without its widgets: the balance read from the service, what the plans
// give, and the checkout page of each plan opened in the browser for this machine.

#include "app/library/generation_preview_model.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

#include <array>
#include <optional>

namespace quorvel::app {
class AuthStore;
struct ServiceConfig;
} // namespace quorvel::app

namespace quorvel::platform {
class Workspace;
}

namespace quorvel::library {

namespace upgradeTexts {
inline const QString title = QStringLiteral("More wumble. Still the good kind.");
inline const QString subtitle = QStringLiteral(
    "Your free Lite generation was on us. Credits keep you generating - pick a plan and keep the screen weird.");
inline const QString unspentFree = QStringLiteral("Your free Lite generation is still unspent, and nothing expires it");
inline const QString outPaid = QStringLiteral("Out of credits this month. The feed keeps playing anyway, free forever");
inline const QString outFree
    = QStringLiteral("Fresh out of wumble credits. The feed keeps playing anyway, free forever");
inline const QString footer
    = QStringLiteral("Both plans: 8 wumble credits every month · Secure checkout via Stripe · Cancel anytime");
inline const QString footerFree = QStringLiteral("The community feed stays free forever, subscription or not.");
inline const QString balanceFailedLog = QStringLiteral("Upgrade balance read failed: %1");
} // namespace upgradeTexts

struct Feature {
    QString symbol;
    QString title;
    QString line;
};

// The four things a plan gives, in the order shown.
const std::array<Feature, 4>& upgradeFeatures();

struct Plan {
    QString key; // "monthly", "yearly"
    QString name;
    QString price;
    QString period;
    QString note;
    std::optional<QString> badge;
    QString button;
    QString checkoutPage;
};

// The two plans, monthly first, each with its checkout page on the service (base URL followed by
// "/checkout/" and the plan's key).
std::array<Plan, 2> upgradePlans(const app::ServiceConfig& config);

// "8 wumble credits loaded", "1 wumble credit loaded".
QString creditsLoadedText(qint64 credits);

// The checkout page with the machine named as its client reference. The reference joins the
// page's own query when it has one (a second "?" would hide it from the page), and goes before a
// fragment. Characters outside the URL-safe set are percent-encoded, so an identifier cannot add
// parameters of its own; a machine identifier needs none and is appended unchanged. None when the
// result does not parse as a URL with a scheme.
std::optional<QUrl> checkoutAddress(const QString& page, const QString& machine);

class UpgradeModel final : public QObject {
    Q_OBJECT
public:
    // `auth` and `workspace` must outlive the model.
    UpgradeModel(app::AuthStore& auth, platform::Workspace& workspace, QObject* parent = nullptr);

    bool balanceLoaded() const { return balanceLoaded_; }
    std::optional<qint64> credits() const { return credits_; }
    bool paid() const { return paid_; }
    const std::array<Plan, 2>& plans() const { return plans_; }

    // Shown only once a balance reply was applied.
    std::optional<SymbolLine> balanceLine() const;

    // Reads the balance; a failed or unusable reply changes nothing, and neither does the reply of
    // a read that a later one overtook. The task may be dropped: it ends quietly when the model
    // goes first.
    QCoro::Task<> loadBalance();
    // Opens the plan's checkout page for this machine in the browser; false when the address does
    // not parse or the workspace could not open it.
    bool openCheckout(const QString& page);

signals:
    void changed();

private:
    app::AuthStore& auth_;
    platform::Workspace& workspace_;
    std::array<Plan, 2> plans_;
    bool balanceLoaded_ = false;
    std::optional<qint64> credits_;
    bool paid_ = false;
    // Identifies the latest read; an older reply arriving after it is stale.
    quint64 loadId_ = 0;
};

} // namespace quorvel::library
