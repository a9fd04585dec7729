#pragma once
// The contract between quorvel-saver and a screensaver module (an .appex bundle's plug-in library).
//
// - Input: the host creates one principal per process, then one view controller per screen (and one
//   for the preview); it calls loadView with the frame to fill and the preview flag, shows the widget,
//   and calls startAnimation when it is on screen.
// - Output: the widget draws itself; the module never exits the process or grabs input.
// - Exit: on dismissal the host calls stopAnimation, then destroys the controllers, then the principal.
// - Reset: a module that fails to load or to make a view is reported and skipped; the other screens go on.

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
