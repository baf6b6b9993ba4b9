// Folder mode: fix the two summary paths, then build and verify, each job
// on a worker thread behind the progress display.
#include "checksum_app.h"
#include "string_ids.h"

using namespace TesselLibrary;

bool ChecksumApp::runFolder() {
    std::u16string summaryPath = folder;
    AppendBackslash(summaryPath);
    summaryPath += summaryName;
    summaryFile->SetPath(summaryPath.c_str());
    rewriteFile->SetPath((summaryPath + u"X").c_str());

    bool ok = true;
    if (create && !progress->Run(frame, frame.ResourceString(kBuildingTitle), this, &ChecksumApp::buildJob)) ok = false;
    if (verify && !progress->Run(frame, frame.ResourceString(kCheckingTitle), this, &ChecksumApp::verifyJob)) ok = false;
    return ok;
}
