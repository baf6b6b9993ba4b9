// Folder mode: resolve the folder once, name the two summaries in it, then
// build and verify, each job on a worker thread behind the progress display.
#include "build_job.h"
#include "checksum_app.h"
#include "string_ids.h"
#include "verify_job.h"

using namespace TesselLibrary;

std::uint32_t TESSEL_STDCALL ChecksumApp::buildJob(void* argument) {
    ChecksumApp& app = *static_cast<ChecksumApp*>(argument);
    BuildJob(app.settings, app.problems, *app.progress, app.folderHeld, *app.summaryFile, app.buildOutcome)
        .buildSummary();
    return 0;
}

std::uint32_t TESSEL_STDCALL ChecksumApp::verifyJob(void* argument) {
    ChecksumApp& app = *static_cast<ChecksumApp*>(argument);
    VerifyJob(app.settings, app.problems, *app.progress, app.folderHeld, *app.summaryFile, *app.rewriteFile,
              app.verifyOutcome)
        .verifySummary();
    return 0;
}

bool ChecksumApp::runFolder() {
    // Resolved once: the walk, the summary, its rewrite and the checks all
    // use this folder, whatever happens to its path while the run goes on.
    // A link named on the command line is followed, as the user gave it.
    folderHeld = Folder::Open(settings.folder);
    if (folderHeld) {
        summaryFile->SetPath(folderHeld, settings.summaryName);
        rewriteFile->SetPath(folderHeld, settings.summaryName + u"X");
    } else {
        const std::u16string path = settings.summaryPath();
        summaryFile->SetPath(path.c_str());
        rewriteFile->SetPath((path + u"X").c_str());
    }

    bool ok = true;
    if (settings.create && !progress->Run(frame, frame.ResourceString(kBuildingTitle), this, &ChecksumApp::buildJob))
        ok = false;
    if (settings.verify && !progress->Run(frame, frame.ResourceString(kCheckingTitle), this, &ChecksumApp::verifyJob))
        ok = false;
    return ok;
}
