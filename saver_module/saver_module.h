#pragma once
// The contract between quorvel-saver and a screensaver module (an .appex bundle whose
// Contents/Info.plist names the plug-in library under "QuorvelPlugInLibrary", relative to Contents/).
//
// - Input: one principal per process, then one view controller per screen (or for the preview, or
//   for a daemon's window); loadView gets the frame to fill (global coordinates) and the preview
//   flag; the host shows the widget and then calls startAnimation. In --settings the process is
//   declared running as "com.apple.Wallpaper-Settings.extension" before any view is made.
// - Output: the module only draws into the widgets it returns; it never exits the process, grabs
//   input or opens windows of its own. Input belongs to the host.
// - Exit: on dismissal (key, click, wheel, real pointer movement), SIGTERM/SIGINT/SIGHUP or the
//   window closing, the host calls stopAnimation on every view, then destroys the controllers
//   (which own their views), then the principal. The library is never unloaded.
// - Reset: a module that cannot load is reported with its reason and the host exits non-zero; a
//   controller or view that is missing or throws is logged and skipped while the other screens go
//   on; an unplugged monitor's view is stopped alone and a new monitor gets a new view.

#include <QRect>
#include <QString>
#include <QtPlugin>

#include <functional>
#include <memory>

class QWidget;

namespace quorvel::saver {

// The screensaver view controller: owns the view it makes.
class SaverViewController {
public:
    virtual ~SaverViewController() = default;
    // Makes the view for `frame` (global coordinates); the controller keeps ownership until destroyed.
    virtual QWidget* loadView(const QRect& frame, bool isPreview) = 0;
    virtual QWidget* view() const = 0;
    virtual void startAnimation() = 0;
    virtual void stopAnimation() = 0;
};

// The configuration sheet: a widget the host shows in a modal dialog.
class SaverConfigurationController {
public:
    virtual ~SaverConfigurationController() = default;
    // Builds the sheet; `dismiss` is called when the sheet asks to be closed. The controller keeps
    // ownership of the sheet until destroyed (the host detaches it from its dialog before that).
    virtual QWidget* loadView(std::function<void()> dismiss) = 0;
};

// The module's principal object.
class SaverPrincipal {
public:
    virtual ~SaverPrincipal() = default;
    virtual std::unique_ptr<SaverViewController> makeViewController() = 0;
    virtual std::unique_ptr<SaverConfigurationController> makeConfigurationController() = 0;
};

// What the plug-in library exports (through QPluginLoader).
class SaverModule {
public:
    static constexpr int kInterfaceVersion = 1;
    virtual ~SaverModule() = default;
    virtual int interfaceVersion() const = 0;
    virtual std::unique_ptr<SaverPrincipal> makePrincipal() = 0;
};

} // namespace quorvel::saver

#define QuorvelSaverModule_iid "com.quorvel.SaverModule/1"
Q_DECLARE_INTERFACE(quorvel::saver::SaverModule, QuorvelSaverModule_iid)
