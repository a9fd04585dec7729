#pragma once
// Where the app finds the registry tool: the platform's one finder, shared with the kit.

#include "platform/registry_tool.h"

namespace quorvel::app {

using platform::kRegistryToolName;
using platform::locateBesideApp;
using platform::locateRegistryTool;
using platform::registryToolSearch;
using platform::RegistryToolSearch;

} // namespace quorvel::app
