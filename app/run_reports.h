// The reports of a run for other programs: its figures for Prometheus (-m)
// and its JSON report (-j). Made when the run begins, so that every line the
// log gets is also an object of the report; finished when it ends, each file
// then put in its name's place in one step. An interrupt in between writes
// the figures of an interrupted run (success 0), so that a stopped check is
// seen as one and not as a check that never ran; the JSON report it leaves
// as it was.
//
//     RunReports reports(settings, problems);  // the log's lines reach the report
//     ... the run's jobs ...
//     ok = reports.finish(ok ? 0 : 1, built, checked) && ok;
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "interrupt_action.h"
#include "job_result.h"
#include "json_report.h"
#include "problem_log.h"
#include "run_figures.h"
#include "run_settings.h"

// What a finished run comes to, from what its jobs and its log counted.
RunFigures gatherFigures(const std::u16string& folder, const RunCounts& tally, const std::optional<JobResult>& built,
                         const std::optional<JobResult>& checked);

class RunReports {
public:
    // Nothing is written yet; the lines `problems` logs from now on go to
    // the JSON report too, when one was asked for.
    RunReports(const RunSettings& settings, ProblemLog& problems);
    ~RunReports();
    RunReports(const RunReports&) = delete;
    RunReports& operator=(const RunReports&) = delete;

    // Writes the JSON report, then the metrics file (so that its success
    // says whether the report was written too). False when either could not
    // be written: each is then one line on standard error, and the old file
    // stays as it was.
    bool finish(int exitCode, const std::optional<JobResult>& built, const std::optional<JobResult>& checked);

private:
    const RunSettings& settings_;
    ProblemLog& problems_;
    std::int64_t startedAt_;
    std::chrono::steady_clock::time_point started_;
    std::unique_ptr<JsonReport> json_;
    std::optional<TesselLibrary::InterruptActionScope> onInterrupt_;
};
