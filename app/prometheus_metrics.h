// The metrics file of a run, for Prometheus' textfile collectors
// (node_exporter's on Linux, windows_exporter's on Windows): the run's
// figures in the text exposition format, the folder as a label, without
// time stamps (the collector gives the file's own date as
// node_textfile_mtime_seconds). The file is replaced in one step, as a
// summary is, so that a scrape never reads half of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "run_figures.h"

// `text` as a label value of the format: backslash, double quote and line
// feed escaped; the undecodable bytes of a name as "\xff" (so "\\xff" once
// escaped), since a label is UTF-8.
std::string metricsLabelValue(const std::u16string& text);

// The whole file. `lastSuccessAt`: when the folder's last run that held
// finished, for a run that did not (none: never).
std::string metricsText(const RunFigures& figures, std::optional<std::int64_t> lastSuccessAt);

// The last success a metrics file's text records for `folder`; none when it
// records none (another file, or one never written by a run that held).
std::optional<std::int64_t> lastSuccessIn(std::string_view text, const std::u16string& folder);

// Reads what the file at `path` holds now, for the last success it keeps,
// then replaces it with the run's figures. False when it could not be
// replaced: the old file stays as it was.
bool writeMetricsFile(const std::u16string& path, const RunFigures& figures);
