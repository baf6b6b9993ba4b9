// Folder mode: fix the two summary paths, then build and verify, each job
// on a worker thread behind the progress display.
#include "checksum_app.h"
#include "string_ids.h"

using namespace TesselLibrary;

std::u16string ChecksumApp::summaryPath() const {
    std::u16string path = folder;
    AppendBackslash(path);
    return path + summaryName;
}

bool ChecksumApp::runFolder() {
    const std::u16string path = summaryPath();
    summaryFile->SetPath(path.c_str());
    rewriteFile->SetPath((path + u"X").c_str());

    bool ok = true;
    if (create && !progress->Run(frame, frame.ResourceString(kBuildingTitle), this, &ChecksumApp::buildJob)) ok = false;
    if (verify && !progress->Run(frame, frame.ResourceString(kCheckingTitle), this, &ChecksumApp::verifyJob)) ok = false;
    return ok;
}
