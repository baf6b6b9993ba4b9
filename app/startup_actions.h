// The one-shot jobs a run does before its banner: the context-menu verb,
// hash to clipboard, the log, and the help.
#pragma once

#include <optional>

#include "engine/digest_result.h"
#include "run_settings.h"
#include "tessel_app.h"
#include "tessel_log.h"

// Does what `settings` asks of them, in their order; opens `log` unless the
// clipboard action ran. Returns the clipboard action's digest when it ran,
// so that single-file mode does not read the file again.
std::optional<FileDigest> performStartupActions(const RunSettings& settings,
                                                const TesselLibrary::TesselAppWindows& frame,
                                                TesselLibrary::TesselLog& log);

// Opens `log` where `settings` put the run's log: in the -o folder, or on
// the desktop; an older log there is deleted.
void openRunLog(const RunSettings& settings, const TesselLibrary::TesselAppWindows& frame,
                TesselLibrary::TesselLog& log);
