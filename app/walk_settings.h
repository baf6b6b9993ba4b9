// How the command line's settings walk a folder: the build's rules, also
// followed by a check that looks for new files.
#pragma once

#include "engine/tree_walk.h"
#include "run_settings.h"

TreeWalkSettings walkSettingsFor(const RunSettings& settings, bool sizes);
