#pragma once
// Configurable stand-ins for the platform facts tests need to control: who the machine is, what
// system it runs, and which applications are running.

#include "platform/desktop_appearance.h"
#include "platform/machine_identity.h"
#include "platform/operating_system.h"
#include "platform/workspace.h"

#include <QStringList>

namespace quorvel::testing {

class FakeMachineIdentity final : public platform::MachineIdentity {
public:
    QString machineIdentifier() const override { return identifier; }
    std::optional<QString> hardwareAddress(const QString& name) const override
    {
        return name == QStringLiteral("en0") ? en0 : std::nullopt;
    }
    QString shortUserName() const override { return QStringLiteral("tester"); }

    QString identifier = QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    std::optional<QString> en0 = QStringLiteral("AA:BB:CC:DD:EE:FF");
};

class FakeOperatingSystem final : public platform::OperatingSystem {
public:
    platform::OperatingSystemVersion version() const override { return current; }
    std::optional<platform::BundleInfo> mainBundle() const override { return main; }
    std::optional<platform::BundleInfo> bundle(const QString&) const override { return std::nullopt; }

    platform::OperatingSystemVersion current { 14, 0, 0 };
    std::optional<platform::BundleInfo> main;
};

// The desktop's settings as a test sets them; a change is announced as the portal announces it.
class FakeDesktopAppearance final : public platform::DesktopAppearance {
public:
    platform::ColorScheme colorScheme() const override { return platform::ColorScheme::noPreference; }
    bool reduceMotion() const override { return reduce; }
    void setReduceMotion(bool on)
    {
        reduce = on;
        emit reduceMotionChanged(on);
    }

    bool reduce = false;
};

// Running applications are whatever `running` holds; declarations are written to `journal` when
// one is given ("declare <id> <path>", then "undeclare" when the handle goes).
class FakeWorkspace final : public platform::Workspace {
public:
    FakeWorkspace() = default;
    explicit FakeWorkspace(QStringList& journal)
        : journal_(&journal)
    {
    }
    bool openURL(const QUrl&) override { return false; }
    bool openApplication(const QString&, const QStringList&) override { return false; }
    QList<platform::RunningApplication> runningApplications() const override { return running; }
    bool terminate(qint64) override { return false; }
    bool isTerminated(qint64) const override { return true; }
    std::unique_ptr<platform::RunningDeclaration> declareRunning(const QString& id, const QString& path) override
    {
        if (!journal_)
            return {};
        *journal_ << "declare " + id + " " + path;
        return std::make_unique<Declaration>(*journal_);
    }
    // The system's wallpaper settings open or closed.
    void openSettings(bool open)
    {
        running.clear();
        if (open)
            running << platform::RunningApplication { "com.apple.Wallpaper-Settings.extension", "/x", 42 };
    }

    QList<platform::RunningApplication> running;

private:
    class Declaration final : public platform::RunningDeclaration {
    public:
        explicit Declaration(QStringList& journal)
            : journal_(journal)
        {
        }
        ~Declaration() override { journal_ << "undeclare"; }

    private:
        QStringList& journal_;
    };
    QStringList* journal_ = nullptr;
};

} // namespace quorvel::testing
