// Entry point: exit code 0 when the run's verdict held, 1 otherwise,
// including when anything escapes.
#include "checksum_app.h"

#ifdef _WIN32
int wmain() {
#else
int main() {
#endif
    try {
        ChecksumApp app;
        return app.run() ? 0 : 1;
    } catch (...) {
        return 1;
    }
}
