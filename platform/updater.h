#pragma once
// Application updates: an appcast (RSS items, each with a version and a download link) on the service.

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

namespace quorvel::platform {

struct UpdateCheckResult {
    enum class Kind { UpToDate, UpdateAvailable, Failed };
    Kind kind = Kind::Failed;
    QString latestVersion; // newest version the appcast offers
    QUrl downloadUrl; // its download link
    QString errorText; // why the check failed
    bool userInitiated = false; // from checkForUpdates(); the launch check stays quiet unless there is news
};

class Updater : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Called once at launch.
    virtual void start() = 0;
    // Backs the "Check for Updates…" command; the answer arrives as checkFinished.
    virtual void checkForUpdates() = 0;

signals:
    void checkFinished(const quorvel::platform::UpdateCheckResult& result);
};

class AppcastUpdater final : public Updater {
    Q_OBJECT
public:
    AppcastUpdater(QNetworkAccessManager& network, QUrl appcastUrl, QString currentVersion, QObject* parent = nullptr);
    void start() override;
    void checkForUpdates() override;

private:
    QCoro::Task<> check(bool userInitiated);

    QNetworkAccessManager& network_;
    QUrl appcastUrl_;
    QString currentVersion_;
    bool started_ = false;
};

} // namespace quorvel::platform
