// Entry point: exit code 0 when the run's verdict held, 1 otherwise,
// including when anything escapes, which is then said on standard error.
#include <exception>
#include <new>

#include "checksum_app.h"
#include "console.h"
#include "platform.h"
#include "text.h"

namespace {

void ReportStop(const std::u16string& reason) {
    TesselLibrary::SayOnStandardError(u"stopped before the end of its work: " + reason);
}

}  // namespace

int main(int argc, char** argv) {
    TesselLibrary::PrepareProcess(argc, argv);
    try {
        ChecksumApp app;
        app.applyCommandLine();
        return app.run() ? 0 : 1;
    } catch (const std::bad_alloc&) {
        ReportStop(u"not enough memory.");
    } catch (const std::exception& error) {
        ReportStop(TesselLibrary::FromSystemBytes(error.what()) + u".");
    } catch (...) {
        ReportStop(u"an unexpected error.");
    }
    return 1;
}
