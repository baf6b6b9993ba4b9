#include "folder_mode.h"

#include "build_job.h"
#include "console.h"
#include "string_ids.h"
#include "verify_job.h"

using namespace TesselLibrary;

std::uint32_t TESSEL_STDCALL FolderMode::buildJob(void* argument) {
    FolderMode& mode = *static_cast<FolderMode*>(argument);
    mode.built_ = BuildJob(mode.settings_, mode.problems_, mode.progress_, mode.folder_, mode.summaryFile_).buildSummary();
    return 0;
}

std::uint32_t TESSEL_STDCALL FolderMode::verifyJob(void* argument) {
    FolderMode& mode = *static_cast<FolderMode*>(argument);
    mode.checked_ = VerifyJob(mode.settings_, mode.problems_, mode.progress_, mode.folder_, mode.summaryFile_,
                              mode.rewriteFile_)
                        .verifySummary();
    return 0;
}

bool FolderMode::run(const TesselAppWindows& frame) {
    const RunSettings& settings = settings_;
    // Resolved once: the walk, the summary, its rewrite and the checks all
    // use this folder, whatever happens to its path while the run goes on.
    // A link named on the command line is followed, as the user gave it.
    folder_ = Folder::Open(settings.folder);
    if (folder_) {
        summaryFile_.SetPath(folder_, settings.summaryName);
        rewriteFile_.SetPath(folder_, settings.summaryName + u"X");
    } else {
        const std::u16string path = settings.summaryPath();
        summaryFile_.SetPath(path.c_str());
        rewriteFile_.SetPath((path + u"X").c_str());
    }

    bool ok = true;
    // Neither job changes the summary until its new one is complete.
    SetInterruptNotice(interruptNotice(settings.summaryPath()));
    if (settings.create && !progress_.Run(frame, frame.ResourceString(kBuildingTitle), this, &FolderMode::buildJob))
        ok = false;
    // After a build the summary may be this run's own.
    if (settings.create) SetInterruptNotice(interruptNotice());
    if (settings.verify && !progress_.Run(frame, frame.ResourceString(kCheckingTitle), this, &FolderMode::verifyJob))
        ok = false;
    SetInterruptNotice(interruptNotice());
    return ok;
}
