#include "checksum_app.h"

#include "command_line.h"
#include "console.h"
#include "platform.h"
#include "string_ids.h"
#include "version.h"

using namespace TesselLibrary;

std::u16string RunSettings::summaryPath() const {
    std::u16string path = folder;
    AppendBackslash(path);
    return path + summaryName;
}

ChecksumApp::ChecksumApp()
    : summaryFile(std::make_unique<TesselFile>()),
      rewriteFile(std::make_unique<TesselFile>()),
      log(std::make_unique<TesselLog>()),
      progress(std::make_unique<TesselProgress>()),
      problems(*log, frame) {
    settings.summaryName = std::u16string(frame.ResourceString(kProductName)) + u".md5";
}

ChecksumApp::~ChecksumApp() = default;

void ChecksumApp::applyCommandLine() { parseCommandLine(settings); }

bool ChecksumApp::run() {
    performStartupActions();

    std::u16string banner = frame.ResourceString(kProductTitle);
    banner += u" v" u"" SUMVANE_VERSION_TEXT;
    banner += kConsoleLineEnd;
    banner += u"" SUMVANE_COPYRIGHT;
    banner += kConsoleLineEnd;
    banner += kConsoleLineEnd;
    banner += frame.ResourceString(kProductWebAddress);
    banner += kBannerEnd;
    WriteConsoleText(banner);

    bool ok = true;
    // A digest the clipboard action could not make (a missing file, or no
    // file named at all) is work asked for and not done.
    if (clipboardDigest && clipboardDigest->result != DigestResult::Computed) ok = false;
    if (!settings.singleFile.empty() && !runSingleFile()) ok = false;
    if (settings.folderGiven && !runFolder()) ok = false;
    // A report that could not be written where it belongs went to standard
    // error; the run did not end the way it should have.
    if (log->failed()) ok = false;
    return ok;
}
