// Single-file mode: one file and its 32-byte companion "<file>.md5"
// (rewrite: "<file>.md5x"), both in the folder the file's path led to at
// the start.
#pragma once

#include <optional>

#include "engine/digest_result.h"
#include "problem_log.h"
#include "run_settings.h"

// Creates and verifies as `settings` asks; what failed is logged.
// `clipboardDigest`: the file's digest when the clipboard action has just
// made it.
void runSingleFile(const RunSettings& settings, const ProblemLog& problems,
                   const std::optional<FileDigest>& clipboardDigest);
