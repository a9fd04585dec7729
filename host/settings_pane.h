#pragma once
// The settings pane: a live preview of the module and its configuration sheet, when to start the
// screensaver, and the switch that turns the extension on or off in the registry. While it is open
// the process is declared as the system's wallpaper settings extension, which the module reads to
// keep its views muted.

#include "host/saver_session.h"
#include "host/saver_settings.h"
#include "host/stages.h"
#include "platform/workspace.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace quorvel::saver {

inline constexpr const char* kSettingsBundleIdentifier = "com.apple.Wallpaper-Settings.extension";

class SettingsPane : public QWidget {
    Q_OBJECT
public:
    // Declares the process running as the settings extension at once, before any view exists. A
    // null `principal` (no module, or one turned off) leaves the preview black and the rest usable.
    SettingsPane(std::unique_ptr<SaverPrincipal> principal, platform::Workspace& workspace, const QString& hostPath,
        SaverSettings& settings, QWidget* parent = nullptr);
    ~SettingsPane() override;

    // Starts the preview and opens the configuration sheet; false when the preview could not start.
    bool start();
    // Opens the module's configuration sheet in a window-modal dialog (again, if it was closed).
    void openSheet();
    bool isSheetOpen() const { return sheet_ != nullptr; }
    QDialog* sheet() const { return sheet_; }
    const SaverSession* session() const { return session_.get(); }
    QComboBox* idleTimeChoice() const { return idleTime_; }
    QCheckBox* turnedOnSwitch() const { return turnedOn_; }
    bool isDeclaredRunning() const { return declaration_ != nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void closeSheet();
    void shutDown();
    void render();

    std::unique_ptr<platform::RunningDeclaration> declaration_;
    QWidget* preview_ = nullptr;
    QPushButton* optionsButton_ = nullptr;
    SaverSettings& settings_;
    QComboBox* idleTime_ = nullptr;
    QCheckBox* turnedOn_ = nullptr;
    QLabel* status_ = nullptr;
    std::optional<ContainerStage> stage_;
    std::unique_ptr<SaverSession> session_;
    std::unique_ptr<SaverConfigurationController> configuration_;
    QPointer<QWidget> sheetView_;
    QPointer<QDialog> sheet_;
};

} // namespace quorvel::saver
