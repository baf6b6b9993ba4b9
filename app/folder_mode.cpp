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
    : folder_(Folder::Open(settings.folder)),
      summaryFile_(FileOfFolder(folder_, settings.summaryName, settings.summaryPath())),
      rewriteFile_(FileOfFolder(folder_, RewriteName(settings.summaryName), RewriteName(settings.summaryPath()))),
      inputs_{settings, problems, progress, folder_, *summaryFile_} {}

std::uint32_t TESSEL_STDCALL FolderMode::buildJob(void* argument) {
    FolderMode& mode = *static_cast<FolderMode*>(argument);
    mode.done_.built = BuildJob(mode.inputs_).buildSummary();
    return 0;
}

std::uint32_t TESSEL_STDCALL FolderMode::verifyJob(void* argument) {
    FolderMode& mode = *static_cast<FolderMode*>(argument);
    mode.done_.checked = VerifyJob(mode.inputs_, *mode.rewriteFile_).verifySummary();
    return 0;
}

void FolderMode::run(const TesselAppWindows& frame) {
    // Each job's verdict is in the run's counts: the display's is not asked.
    {
        // Neither job changes the summary until its new one is complete.
        const InterruptNoticeScope notice(interruptNotice(inputs_.settings.summaryPath()));
        if (inputs_.settings.create)
            inputs_.progress.Run(frame, frame.ResourceString(kBuildingTitle), this, &FolderMode::buildJob);
    }
    // After a build the summary may be this run's own.
    const InterruptNoticeScope notice(interruptNotice(inputs_.settings.create ? u"" : inputs_.settings.summaryPath()));
    if (inputs_.settings.verify)
        inputs_.progress.Run(frame, frame.ResourceString(kCheckingTitle), this, &FolderMode::verifyJob);
}
