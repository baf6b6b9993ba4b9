#include "checksum_app.h"

#include "closing_line.h"
#include "command_line.h"
#include "console.h"
#include "folder_mode.h"
#include "help_viewer.h"
#include "platform.h"
#include "platform_rules.h"
#include "run_counts.h"
#include "run_reports.h"
#include "single_file_mode.h"
#include "startup_actions.h"
#include "string_ids.h"
#include "version.h"

using namespace TesselLibrary;

namespace {

void WriteBanner(const std::u16string& title, const TesselAppWindows& frame) {
    std::u16string banner = title;
    banner += kConsoleLineEnd;
    banner += u"" SUMVANE_COPYRIGHT;
    banner += kConsoleLineEnd;
    banner += kConsoleLineEnd;
    banner += frame.ResourceString(kProductWebAddress);
    banner += kBannerEnd;
    WriteConsoleText(banner);
}

// The run's last line on standard error: for a run that logged lines, what
// its log holds; for a clean one someone watches, what it did.
void WriteClosingLine(const RunSettings& settings, const ProblemLog& problems, const TesselLog& log,
                      const JobsDone& jobs, bool failed) {
    if (kLogLinesOnStandardError && log.lineCount() != 0) {
        const bool kept = jobs.built && jobs.built->previousKept;
        const std::optional<JobResult>& checked = jobs.checked;
        const std::u16string covered = checked && checked->slice ? u"; " + sliceCoverageText(*checked->slice) : u"";
        SayOnStandardError(closingLine(problems.counts(), log.lostLineCount(), log.path(),
                                       kept ? settings.summaryPath() : std::u16string()) +
                           covered);
    } else if (kLogLinesOnStandardError && !failed && StandardErrorIsTerminal()) {
        // Someone watches: a clean run says what it did. Under cron it stays
        // silent, so that no mail is sent.
        CleanRun clean;
        clean.singleFile = settings.singleFile;
        clean.singleRecorded = settings.create;
        clean.singleChecked = settings.verify;
        if (settings.folderGiven) clean.summaryPath = settings.summaryPath();
        clean.built = jobs.built;
        clean.checked = jobs.checked;
        const std::u16string line = cleanClosingLine(clean);
        if (!line.empty()) SayOnStandardError(line);
    }
}

}  // namespace

ChecksumApp::ChecksumApp()
    : log(std::make_unique<TesselLog>()), progress(std::make_unique<TesselProgress>()), problems(*log, frame) {
    settings.summaryName = std::u16string(frame.ResourceString(kProductName)) + u".md5";
}

ChecksumApp::~ChecksumApp() = default;

std::u16string ChecksumApp::bannerTitle() const {
    return frame.ResourceString(kProductTitle) + std::u16string(
                                                     u" v"
                                                     u"" SUMVANE_VERSION_TEXT);
}

bool ChecksumApp::answerInformationRequest() const {
    if (settings.startup.informationRequest == InformationRequest::Help) return WritePlainHelp();
    WriteConsoleText(bannerTitle() + kConsoleLineEnd);
    return true;
}

void ChecksumApp::applyCommandLine() { parseCommandLine(settings); }

bool ChecksumApp::run() {
    if (settings.startup.informationRequest != InformationRequest::None) return answerInformationRequest();
    // Options that cannot work together: nothing is done, not even the log
    // of the run before deleted, unless that log is where it is said.
    if (!settings.startup.refusal.empty()) {
        // The window program says it in the run's log, where its user looks.
        if (StandardErrorUnheard()) openRunLog(settings, frame, *log);
        SayOnStandardError(settings.startup.refusal);
        return false;
    }
    const InterruptNoticeScope notice(interruptNotice());
    const std::optional<FileDigest> clipboardDigest = performStartupActions(settings, frame, *log);
    WriteBanner(bannerTitle(), frame);

    // Only a folder's run has figures (the command line refuses -m and -j
    // without one); its log's lines go to the JSON report from here on.
    std::optional<RunReports> reports;
    if (settings.reports.metricsFile || settings.reports.jsonReportFile) reports.emplace(settings, problems);

    // A digest the clipboard action could not make (a missing file, or no
    // file named at all) is work asked for and not done, said in its box.
    if (clipboardDigest && clipboardDigest->result != DigestResult::Computed) problems.countSaidElsewhere();
    if (!settings.singleFile.empty()) {
        const InterruptNoticeScope single(interruptNotice(settings.create ? settings.singleFile + u".md5" : u""));
        runSingleFile(settings, problems, clipboardDigest);
    }
    std::optional<FolderMode> folderMode;
    JobsDone jobs;
    if (settings.folderGiven) {
        folderMode.emplace(settings, problems, *progress);
        folderMode->run(frame);
        jobs = folderMode->done();
    }
    // The run's verdict, from what it counted and from its log: a log that
    // could not be written where it belongs went to standard error.
    const auto failed = [&] { return runFailed(problems.counts(), log->failed()); };
    if (reports && !reports->finish(failed() ? 1 : 0, jobs.built, jobs.checked)) problems.countSaidElsewhere();
    WriteClosingLine(settings, problems, *log, jobs, failed());
    return !failed();
}
