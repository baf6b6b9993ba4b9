#include "run_reports.h"

#include "console.h"
#include "local_time.h"
#include "prometheus_metrics.h"

using namespace TesselLibrary;

namespace {

double SecondsSince(std::chrono::steady_clock::time_point started) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void SayNotWritten(const char16_t* option, const std::u16string& path) {
    SayOnStandardError(std::u16string(option) + u": could not write " + path + u"; it is left as it was");
}

}  // namespace

RunFigures gatherFigures(const std::u16string& folder, const RunCounts& tally, const std::optional<JobResult>& built,
                         const std::optional<JobResult>& checked) {
    RunFigures figures;
    figures.folder = folder;
    figures.problems = tally.kinds;
    figures.newFiles = tally.newFiles;
    if (built) figures.bytesRead += built->bytesRead;
    if (checked) figures.bytesRead += checked->bytesRead;
    // A check after a build reads the summary the build has just written.
    if (checked) {
        figures.filesChecked = checked->files;
        figures.recordedFiles = checked->entries;
    } else if (built) {
        figures.filesChecked = built->files;
        figures.recordedFiles = built->summaryWritten ? built->files : 0;
    }
    if (checked && checked->slice) {
        const SliceCoverage& slice = *checked->slice;
        figures.slice = SliceFigures{slice.checked, slice.entries, std::nullopt};
        if (slice.lastFullRound) figures.slice->fullRoundAt = SecondsOfLocalDateTime(*slice.lastFullRound);
    }
    return figures;
}

RunReports::RunReports(const RunSettings& settings, ProblemLog& problems)
    : settings_(settings),
      problems_(problems),
      startedAt_(std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                     .count()),
      started_(std::chrono::steady_clock::now()) {
    if (settings.reports.jsonReportFile) {
        json_ = std::make_unique<JsonReport>(*settings.reports.jsonReportFile);
        problems_.alsoReportTo(json_.get());
    }
    if (!settings.reports.metricsFile) return;
    // The interrupt's own thread runs this while the jobs go on: it uses
    // only copies of what it needs.
    RunFigures interrupted;
    interrupted.folder = settings.folder;
    interrupted.startedAt = startedAt_;
    interrupted.exitCode = 1;
    interrupted.interrupted = true;
    onInterrupt_.emplace([interrupted, path = *settings.reports.metricsFile, started = started_]() mutable {
        interrupted.seconds = SecondsSince(started);
        if (!writeMetricsFile(path, interrupted)) SayNotWritten(u"-m", path);
    });
}

RunReports::~RunReports() { problems_.alsoReportTo(nullptr); }

bool RunReports::finish(int exitCode, const std::optional<JobResult>& built, const std::optional<JobResult>& checked) {
    // From here on an interrupt leaves both files as they were: this run's
    // figures are being written.
    onInterrupt_.reset();
    problems_.alsoReportTo(nullptr);
    RunFigures figures = gatherFigures(settings_.folder, problems_.counts(), built, checked);
    figures.startedAt = startedAt_;
    figures.seconds = SecondsSince(started_);
    figures.exitCode = exitCode;
    if (settings_.check.copyFolder)
        figures.repairs = RepairFigures{problems_.counts().repaired, problems_.counts().notRepaired};
    bool written = true;
    if (json_ && !json_->finish(figures)) {
        SayNotWritten(u"-j", json_->path());
        written = false;
        figures.exitCode = 1;
    }
    if (settings_.reports.metricsFile && !writeMetricsFile(*settings_.reports.metricsFile, figures)) {
        SayNotWritten(u"-m", *settings_.reports.metricsFile);
        written = false;
    }
    return written;
}
