#pragma once
// The two idle-time modes of quorvel-saver: the idle agent and --idle-time.

#include "host/saver_options.h"
#include "host/saver_runner.h"

namespace quorvel::platform {
class Preferences;
}

namespace quorvel::saver {

// Needs a QApplication. Runs the agent until SIGTERM; a second agent of the session ends at once
// (0), an agent that cannot watch idle here ends with its reason printed (1).
int runAgent(SaverEnvironment& environment, platform::Preferences& preferences);

// --idle-time: sets it through the kit (the kit's error printed, 1) or prints it in seconds.
int runIdleTime(const SaverOptions& options, kit::Tessary& kit);

} // namespace quorvel::saver
