#include "checksum_app.h"

#include "command_line.h"
#include "console.h"
#include "platform.h"
#include "string_ids.h"
#include "version.h"

using namespace TesselLibrary;

ChecksumApp::ChecksumApp() : ChecksumApp(DefaultsOnly{}) {
    parseCommandLine(*this);
    performStartupActions();
}

ChecksumApp::ChecksumApp(DefaultsOnly)
    : summaryFile(std::make_unique<TesselFile>()),
      rewriteFile(std::make_unique<TesselFile>()),
      log(std::make_unique<TesselLog>()),
      progress(std::make_unique<TesselProgress>()),
      summaryName(std::u16string(frame.ResourceString(kProductName)) + u".md5") {}

ChecksumApp::~ChecksumApp() = default;

bool ChecksumApp::run() {
    std::u16string banner = frame.ResourceString(kProductTitle);
    banner += u" v" u"" SUMVANE_VERSION_TEXT;
    banner += kConsoleLineEnd;
    banner += u"" SUMVANE_COPYRIGHT;
    banner += kConsoleLineEnd;
    banner += kConsoleLineEnd;
    banner += frame.ResourceString(kProductWebAddress);
    WriteConsoleText(banner);

    bool ok = true;
    if (!singleFile.empty() && !runSingleFile()) ok = false;
    if (folderGiven && !runFolder()) ok = false;
    return ok;
}
