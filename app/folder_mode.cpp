// Folder mode: resolve the folder once, name the two summaries in it, then
// build and verify, each job on a worker thread behind the progress display.
#include "build_job.h"
#include "checksum_app.h"
#include "closing_line.h"
#include "console.h"
#include "string_ids.h"
#include "verify_job.h"

using namespace TesselLibrary;

std::uint32_t TESSEL_STDCALL ChecksumApp::buildJob(void* argument) {
    ChecksumApp& app = *static_cast<ChecksumApp*>(argument);
    app.built = BuildJob(app.settings, app.problems, *app.progress, app.folderHeld, *app.summaryFile).buildSummary();
    return 0;
}

std::uint32_t TESSEL_STDCALL ChecksumApp::verifyJob(void* argument) {
    ChecksumApp& app = *static_cast<ChecksumApp*>(argument);
    app.checked =
        VerifyJob(app.settings, app.problems, *app.progress, app.folderHeld, *app.summaryFile, *app.rewriteFile)
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
    // Neither job changes the summary until its new one is complete.
    SetInterruptNotice(interruptNotice(settings.summaryPath()));
    if (settings.create && !progress->Run(frame, frame.ResourceString(kBuildingTitle), this, &ChecksumApp::buildJob))
        ok = false;
    // After a build the summary may be this run's own.
    if (settings.create) SetInterruptNotice(interruptNotice());
    if (settings.verify && !progress->Run(frame, frame.ResourceString(kCheckingTitle), this, &ChecksumApp::verifyJob))
        ok = false;
    SetInterruptNotice(interruptNotice());
    return ok;
}
