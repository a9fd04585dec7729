#pragma once
// Where the app runs from, and moving it into the applications folder: copy (or replace an older
// copy once the user agrees), register it with the desktop's launcher, start it and quit.

#include <QCoroTask>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace quorvel::platform {
class DesktopEntries;
class FileManager;
class Sleeper;
class SymbolLoader;
class Workspace;
} // namespace quorvel::platform

namespace quorvel::app {

namespace texts {
inline const QString moveFailed = QStringLiteral("Quorvel couldn't move itself to Applications. Please drag Quorvel to "
                                                 "the Applications folder, then open it there.");
}

struct AppLocationError {
    enum class Kind { existingCopyWouldNotQuit, replacementNotConfirmed, sourceMissing, fileOperation, launchFailed };
    Kind kind;
    // The system's own description for fileOperation and launchFailed; the fixed text otherwise.
    QString detail;

    // What the log says about it.
    QString description() const;
};

class AppLocationManager final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool shouldOfferMove READ shouldOfferMove CONSTANT)
    Q_PROPERTY(bool isMoving READ isMoving NOTIFY isMovingChanged)
    Q_PROPERTY(bool replacementConfirmationNeeded READ replacementConfirmationNeeded NOTIFY
            replacementConfirmationNeededChanged)
    Q_PROPERTY(std::optional<QString> fallbackMessage READ fallbackMessage NOTIFY fallbackMessageChanged)

public:
    static constexpr std::chrono::milliseconds quitPollInterval { 100 };
    static constexpr int quitPollLimit = 40;
    static inline const QString desktopEntryId = QStringLiteral("com.quorvel.Quorvel");

    // Everything must outlive the manager.
    struct Environment {
        platform::SymbolLoader& symbols;
        platform::FileManager& files;
        platform::Workspace& workspace;
        platform::Sleeper& sleeper;
        platform::DesktopEntries& desktopEntries;
        // Where a bundle counts as installed; the first ("~/Applications" on this platform) is where a
        // move copies to, the others are where a package installs the app and are never written.
        QStringList applicationsFolders;
        qint64 ownPid = 0;
        // Ends this process after the new copy started.
        std::function<void()> terminate;
        // Lets a successor become the single running copy; the second undoes it when its launch failed.
        std::function<void()> releaseInstance;
        std::function<void()> reclaimInstance;
    };

    // Decides at once whether to offer the move. An empty `runningBundlePath` (not running from a
    // bundle) never offers it: there is nothing to move. Neither does a bundle below any of the
    // applications folders. Also starts removing what an earlier move left in the applications folder.
    AppLocationManager(const QString& runningBundlePath, Environment environment, QObject* parent = nullptr);
    ~AppLocationManager() override;

    bool shouldOfferMove() const { return shouldOfferMove_; }
    bool isMoving() const { return isMoving_; }
    bool replacementConfirmationNeeded() const { return replacementConfirmationNeeded_; }
    std::optional<QString> fallbackMessage() const { return fallbackMessage_; }

    QString runningBundlePath() const { return runningBundlePath_; }
    QString copySourcePath() const { return copySourcePath_; }
    QString destinationPath() const { return destinationPath_; }

    // Starts a move; `replaceExisting` is true only after the user confirmed the replacement.
    void moveToApplications(bool replaceExisting);
    // The replacement question was dismissed without replacing.
    void cancelReplacement();
    // Shows the applications folder in the desktop's file manager (creating it when missing).
    void openApplicationsFolder();

signals:
    void isMovingChanged();
    void replacementConfirmationNeededChanged();
    void fallbackMessageChanged();
    // A move attempt ended without relaunching (its failure is in fallbackMessage).
    void moveFailed();

private:
    QCoro::Task<> move(bool replaceExisting);
    QCoro::Task<std::optional<AppLocationError>> quitExistingCopy();
    void removeLeftovers();
    void registerWithDesktop();
    std::optional<AppLocationError> launchNewCopy();
    void fail(const AppLocationError& error);
    QString moveFolder() const;

    void setMoving(bool moving);
    void setReplacementConfirmationNeeded(bool needed);
    void setFallbackMessage(std::optional<QString> message);

    Environment environment_;
    QString runningBundlePath_;
    QString copySourcePath_;
    QString destinationPath_;
    bool shouldOfferMove_ = false;
    bool isMoving_ = false;
    bool replacementConfirmationNeeded_ = false;
    std::optional<QString> fallbackMessage_;
    QFuture<void> leftoverRemoval_;
};

} // namespace quorvel::app
