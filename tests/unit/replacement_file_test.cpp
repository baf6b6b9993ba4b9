// ReplacementFile on the POSIX backend: the interrupt's clean-up leaves no
// temporary file, whatever another thread is doing with one at that moment.
#ifndef _WIN32

#include "replacement_file.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "text.h"

namespace {

namespace fs = std::filesystem;
using TesselLibrary::Folder;
using TesselLibrary::ReplacementFile;

int TemporaryFilesIn(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        count += entry.path().filename().string().rfind(".sumvane-", 0) == 0;
    return count;
}

// A child process replaces a file over and over on a thread of its own while
// its main thread is interrupted at a moment that differs from trial to
// trial: the clean-up, then the end of the process, as an interrupt does.
TEST(ReplacementFileTest, AnInterruptLeavesNoTemporaryFileWhateverAnotherThreadIsDoing) {
    const fs::path folder = fs::temp_directory_path() / ("sumvane-replacement-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (int trial = 0; trial < 100; ++trial) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::shared_ptr<Folder> held = Folder::Open(TesselLibrary::FromSystemBytes(folder.string()));
            if (!held) ::_exit(2);
            for (int thread = 0; thread < 4; ++thread) {
                std::thread([held] {
                    for (;;) {
                        ReplacementFile next;
                        if (next.Create(held, u"Sumvane.md5")) next.Write("x", 1);
                    }
                }).detach();
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200 + 20 * (trial % 50)));
            TesselLibrary::RemoveTemporaryFiles();
            ::_exit(0);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        ASSERT_EQ(TemporaryFilesIn(folder), 0) << "trial " << trial;
    }
    fs::remove_all(folder);
}

}  // namespace

#endif  // _WIN32
