#pragma once
// Runs one mode of quorvel-saver to its end: resolve and load the module, then show it.

#include "host/module_election.h"
#include "host/module_locator.h"
#include "host/saver_options.h"
#include "platform/workspace.h"

#include <QString>

namespace quorvel::kit {
class Tessary;
}

namespace quorvel::saver {

inline constexpr int kExitUsage = 64;
inline constexpr int kExitFailure = 1;

// What the full-screen host declares itself running as, so the idle agent never starts a second.
inline constexpr const char* kEngineBundleIdentifier = "com.apple.ScreenSaver.Engine";

struct SaverEnvironment {
    platform::Workspace& workspace;
    const ModuleLocator& locator;
    QString hostPath; // this executable, for the running declaration
    const ModuleElections& elections;
    kit::Tessary& kit; // the idle time
};

// Needs a QApplication; runs its event loop until the saver is dismissed or its window closes.
// Every failure is printed to stderr as "quorvel-saver: <reason>: <detail>" and ends non-zero.
int runSaver(const SaverOptions& options, SaverEnvironment& environment);

} // namespace quorvel::saver
