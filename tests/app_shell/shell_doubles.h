#pragma once
// Stand-ins for the platform pieces the app shell reaches: a scripted symbol loader, a file
// manager that fails on request, a workspace with scripted running copies, recorded launcher
// entries, an updater that answers when told, a window host of plain objects, and the whole set
// an app is made from.

#include "app/shell/quorvel_app.h"
#include "app/shell/window_directory.h"
#include "platform/desktop_entries.h"
#include "platform/file_manager.h"
#include "platform/symbol_loader.h"
#include "platform/updater.h"
#include "platform/workspace.h"
#include "support/fake_platform.h"
#include "support/manual_clock.h"
#include "support/memory_secret_store.h"

#include <QCoreApplication>
#include <QHash>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QThread>

#include <functional>
#include <optional>
#include <vector>

namespace quorvel::testing {

class ScriptedSymbolLoader final : public platform::SymbolLoader {
public:
    void* load(const QString& libraryPath, const char* symbol) override
    {
        requests << libraryPath + QLatin1Char(':') + QString::fromLatin1(symbol);
        return symbols.value(QString::fromLatin1(symbol), nullptr);
    }
    QHash<QString, void*> symbols;
    QStringList requests;
};

// The real file manager, with one operation made to fail (after it did part of its work, the way
// a full disk fails a copy half-way) and a journal of every call.
class FaultyFileManager final : public platform::FileManager {
public:
    bool exists(const QString& path) const override { return real.exists(path); }
    std::optional<QString> makeFolder(const QString& path) override
    {
        journal << "makeFolder " + path;
        return real.makeFolder(path);
    }
    std::optional<QString> copyItem(const QString& source, const QString& destination) override
    {
        journal << "copy " + source + " -> " + destination;
        copiedOnMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        auto result = real.copyItem(source, destination);
        if (failCopy)
            return *failCopy;
        return result;
    }
    std::optional<QString> replaceItem(const QString& destination, const QString& replacement) override
    {
        journal << "replace " + destination + " <- " + replacement;
        if (failReplace)
            return *failReplace;
        return real.replaceItem(destination, replacement);
    }
    std::optional<QString> removeItem(const QString& path) override
    {
        journal << "remove " + path;
        if (failRemove)
            return *failRemove;
        return real.removeItem(path);
    }
    QStringList itemNames(const QString& folder) const override { return real.itemNames(folder); }

    platform::LocalFileManager real;
    std::optional<QString> failCopy;
    std::optional<QString> failReplace;
    std::optional<QString> failRemove;
    QStringList journal;
    // Where the last copy ran: a copy on the main thread freezes the window.
    bool copiedOnMainThread = false;
};

class ShellWorkspace final : public platform::Workspace {
public:
    bool openURL(const QUrl& url) override
    {
        openedUrls << url;
        return true;
    }
    bool openApplication(const QString& bundlePath, const QStringList&) override
    {
        launched << bundlePath;
        if (onLaunch)
            onLaunch();
        return launchSucceeds;
    }
    QList<platform::RunningApplication> runningApplications() const override { return running; }
    bool terminate(qint64 pid) override
    {
        terminateRequests << pid;
        return terminateAccepted;
    }
    // Terminated once it was checked `checksUntilGone` times (never when negative).
    bool isTerminated(qint64) const override
    {
        ++terminationChecks;
        return checksUntilGone >= 0 && terminationChecks > checksUntilGone;
    }
    std::unique_ptr<platform::RunningDeclaration> declareRunning(const QString&, const QString&) override { return {}; }

    QList<platform::RunningApplication> running;
    bool terminateAccepted = true;
    int checksUntilGone = 0;
    mutable int terminationChecks = 0;
    bool launchSucceeds = true;
    std::function<void()> onLaunch;
    QList<qint64> terminateRequests;
    QStringList launched;
    QList<QUrl> openedUrls;
};

class RecordingDesktopEntries final : public platform::DesktopEntries {
public:
    std::optional<QString> install(const platform::DesktopEntry& entry) override
    {
        installed.push_back(entry);
        return failure;
    }
    std::vector<platform::DesktopEntry> installed;
    std::optional<QString> failure;
};

class ManualUpdater final : public platform::Updater {
    Q_OBJECT
public:
    void start() override { ++starts; }
    void checkForUpdates() override { ++checks; }
    void answer(platform::UpdateCheckResult result) { emit checkFinished(result); }
    int starts = 0;
    int checks = 0;
};

// Windows are plain objects; closing one destroys it, as a real window that deletes itself on close.
class ObjectWindowHost final : public app::WindowHost {
public:
    ~ObjectWindowHost() override { qDeleteAll(owned); }
    QObject* createWindow(const app::SceneSpec& scene) override
    {
        journal << "create " + scene.id;
        return remember(scene.id);
    }
    QObject* createMainWindow() override
    {
        journal << "create main";
        return remember(QStringLiteral("main"));
    }
    void raiseWindow(QObject* window) override { journal << "raise " + window->objectName(); }
    void closeWindow(QObject* window) override
    {
        journal << "close " + window->objectName();
        owned.removeAll(window);
        delete window;
    }

    QStringList journal;
    QList<QObject*> owned;

private:
    QObject* remember(const QString& name)
    {
        auto* window = new QObject;
        window->setObjectName(name);
        owned << window;
        return window;
    }
};

// Every double an app is made from; `services` builds the app's dependencies over them.
struct AppDoubles {
    app::AppServices services(const QString& runningBundlePath, const QStringList& applicationsFolders)
    {
        return { network, secrets, identity, system, updater, app::ServiceConfig { "http://127.0.0.1:9" },
            runningBundlePath, { symbols, files, workspace, sleeper, entries, applicationsFolders, 1, {}, {}, {} } };
    }

    QNetworkAccessManager network;
    MemorySecretStore secrets;
    FakeMachineIdentity identity;
    FakeOperatingSystem system;
    ManualUpdater updater;
    ManualClock clock;
    ManualSleeper sleeper { clock };
    ScriptedSymbolLoader symbols;
    FaultyFileManager files;
    ShellWorkspace workspace;
    RecordingDesktopEntries entries;
};

} // namespace quorvel::testing
