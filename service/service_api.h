#pragma once
// Every endpoint of the service. Handlers throw ApiError; the router turns it into the reply.

#include "service/clip_renderer.h"
#include "service/clock.h"
#include "service/config.h"
#include "service/rate_limiter.h"
#include "service/router.h"
#include "service/store.h"

#include <QHash>
#include <QObject>

namespace quorvel::service {

class ServiceApi final : public QObject {
    Q_OBJECT
public:
    // `config.publicUrl` must be set (the origin clips and pages are served from).
    ServiceApi(ServiceConfig config, Store& store, ClipRenderer& renderer, const ServiceClock& clock, QString assetsDir,
        QObject* parent = nullptr);
    void install(Router& router);
    // Renders again what an earlier run accepted but never finished.
    void resumePendingRenders();

    static constexpr int kVetCallsPerSecond = 3;
    static constexpr int kFeedSize = 50;
    static constexpr int kMaxPrompt = 2000;
    static constexpr int kMaxTitle = 200;
    static constexpr int kMaxHandle = 64;

private:
    // accounts
    void enroll(const Request& request, const Reply& reply);
    void balance(const Request& request, const Reply& reply);
    void debugAccess(const Request& request, const Reply& reply);
    void checkoutPage(const QString& plan, const Request& request, const Reply& reply);
    void checkoutConfirm(const QString& plan, const Request& request, const Reply& reply);
    // generation
    void generate(const Request& request, const Reply& reply);
    void jobStatus(const Request& request, const Reply& reply);
    void vetPrompt(const Request& request, const Reply& reply);
    void renderFinished(const QString& id, bool ok, const QString& error);
    // library
    void updateClip(const QString& action, const Request& request, const Reply& reply);
    void history(const Request& request, const Reply& reply);
    void feed(const Request& request, const Reply& reply);
    QByteArray buildFeed();
    // static files and pages
    void cdn(const Request& request, const Reply& reply);
    void appcast(const Request& request, const Reply& reply);
    void releasePage(const Request& request, const Reply& reply);

    // The machine of the bearer token; Unauthorized otherwise.
    QString authenticate(const Request& request);
    // Forbidden unless the request speaks for the token's own machine.
    static void requireSameUser(const QString& machine, const QString& user);
    bool debugPairMatches(const QString& machine, const QString& token) const;
    QString clipUrl(const QString& id) const;
    void sendJob(const Reply& reply, const QString& id);

    ServiceConfig config_;
    Store& store_;
    ClipRenderer& renderer_;
    const ServiceClock& clock_;
    QString assetsDir_;
    RateLimiter vetLimiter_ { kVetCallsPerSecond, 1000 };
    // Replies held back until their clip is rendered (instant mode).
    QHash<QString, QList<Reply>> waiting_;
    // The feed body as last built; dropped whenever a title or a publication changes.
    QByteArray feedCache_;
};

// A 32-hex-digit job or clip id, or empty when `text` is not one.
QString parseId(const QString& text);
// The clip id in a clip address ".../clips/<id>.mp4" of any origin; empty when there is none.
QString clipIdFromUrl(const QString& url);

} // namespace quorvel::service
