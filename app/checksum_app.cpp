#include "checksum_app.h"

#include "closing_line.h"
#include "command_line.h"
#include "console.h"
#include "help_viewer.h"
#include "platform.h"
#include "string_ids.h"
#include "version.h"

using namespace TesselLibrary;

std::u16string pathForLog(const std::u16string& path) {
    std::u16string shown;
    shown.reserve(path.size());
    for (const char16_t c : path) {
        if (c == u'\r') {
            shown += u"\\r";
        } else if (c == u'\n') {
            shown += u"\\n";
        } else {
            shown += c;
        }
    }
    return shown;
}

ChecksumApp::ChecksumApp() : ChecksumApp(DefaultsOnly{}) {
    parseCommandLine(*this);
    if (informationRequest == InformationRequest::None) performStartupActions();
}

ChecksumApp::ChecksumApp(DefaultsOnly)
    : summaryFile(std::make_unique<TesselFile>()),
      rewriteFile(std::make_unique<TesselFile>()),
      log(std::make_unique<TesselLog>()),
      progress(std::make_unique<TesselProgress>()),
      summaryName(std::u16string(frame.ResourceString(kProductName)) + u".md5") {}

ChecksumApp::~ChecksumApp() = default;

std::u16string ChecksumApp::bannerTitle() const {
    return frame.ResourceString(kProductTitle) + std::u16string(u" v" u"" SUMVANE_VERSION_TEXT);
}

bool ChecksumApp::answerInformationRequest() const {
    if (informationRequest == InformationRequest::Help) return WritePlainHelp();
    WriteConsoleText(bannerTitle() + kConsoleLineEnd);
    return true;
}

bool ChecksumApp::run() {
    if (informationRequest != InformationRequest::None) return answerInformationRequest();
    std::u16string banner = bannerTitle();
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
    if (!singleFile.empty() && !runSingleFile()) ok = false;
    if (folderGiven && !runFolder()) ok = false;
    // A report that could not be written where it belongs went to standard
    // error; the run did not end the way it should have.
    if (log->failed()) ok = false;
    if (kLogLinesOnStandardError && log->lineCount() != 0) {
        WriteErrorText(closingLine(log->lineCount(), log->lostLineCount(), log->path()) + kConsoleLineEnd);
    }
    return ok;
}

void ChecksumApp::logProblem(const std::u16string& path, std::uint32_t messageId) const {
    log->Write(pathForLog(path));
    log->WriteLine(frame.ResourceString(messageId));
}

void ChecksumApp::logMismatch(const std::u16string& path, const std::u16string& first,
                              const std::u16string& second) const {
    log->Write(pathForLog(path));
    log->Write(frame.ResourceString(kMd5Mismatch));
    log->Write(u" (");
    log->Write(pathForLog(first));  // a stored digest may hold any byte; a line break must not end the line
    log->Write(u" - ");
    log->Write(pathForLog(second));
    log->WriteLine(u")");
}
