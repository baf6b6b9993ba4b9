#include "folder_mode.h"

#include "build_job.h"
#include "closing_line.h"
#include "console.h"
#include "path.h"
#include "string_ids.h"
#include "verify_job.h"

using namespace TesselLibrary;

namespace {

// The file `name` in the folder the run holds; by its path when the folder
// could not be opened, so that what fails is said with the path.
std::unique_ptr<TesselFile> FileOfFolder(const std::shared_ptr<const Folder>& folder, const std::u16string& name,
                                         const std::u16string& path) {
    return folder ? std::make_unique<TesselFile>(folder, name) : std::make_unique<TesselFile>(path);
}

}  // namespace

FolderMode::FolderMode(const RunSettings& settings, const ProblemLog& problems, TesselProgress& progress)
    : settings_(settings), problems_(problems), progress_(progress), folder_(Folder::Open(settings.folder)),
      summaryFile_(FileOfFolder(folder_, settings.summaryName, settings.summaryPath())),
      rewriteFile_(FileOfFolder(folder_, RewriteName(settings.summaryName), RewriteName(settings.summaryPath()))) {}

std::uint32_t TESSEL_STDCALL FolderMode::buildJob(void* argument) {
    FolderMode& mode = *static_cast<FolderMode*>(argument);
    mode.built_ =
        BuildJob(mode.settings_, mode.problems_, mode.progress_, mode.folder_, *mode.summaryFile_).buildSummary();
    return 0;
}

std::uint32_t TESSEL_STDCALL FolderMode::verifyJob(void* argument) {
    FolderMode& mode = *static_cast<FolderMode*>(argument);
    mode.checked_ = VerifyJob(mode.settings_, mode.problems_, mode.progress_, mode.folder_, *mode.summaryFile_,
                              *mode.rewriteFile_)
                        .verifySummary();
    return 0;
}

void FolderMode::run(const TesselAppWindows& frame) {
    // Each job's verdict is in the run's counts: the display's is not asked.
    {
        // Neither job changes the summary until its new one is complete.
        const InterruptNoticeScope notice(interruptNotice(settings_.summaryPath()));
        if (settings_.create) progress_.Run(frame, frame.ResourceString(kBuildingTitle), this, &FolderMode::buildJob);
    }
    // After a build the summary may be this run's own.
    const InterruptNoticeScope notice(interruptNotice(settings_.create ? u"" : settings_.summaryPath()));
    if (settings_.verify) progress_.Run(frame, frame.ResourceString(kCheckingTitle), this, &FolderMode::verifyJob);
}
