// The temporary files of replacements in progress, for the interrupt
// handling to remove.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "file_handle.h"
#include "tessel_file.h"

namespace TesselLibrary {

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::u16string> paths;
};

// Never destroyed: an interrupt may arrive while the process is ending.
Registry& Files() {
    static Registry& registry = *new Registry;
    return registry;
}

}  // namespace

void RegisterTemporaryFile(const std::u16string& path) {
    Registry& files = Files();
    std::lock_guard<std::mutex> lock(files.mutex);
    files.paths.push_back(path);
}

void UnregisterTemporaryFile(const std::u16string& path) {
    Registry& files = Files();
    std::lock_guard<std::mutex> lock(files.mutex);
    const auto found = std::find(files.paths.begin(), files.paths.end(), path);
    if (found != files.paths.end()) files.paths.erase(found);
}

void RemoveTemporaryFiles() {
    Registry& files = Files();
    std::lock_guard<std::mutex> lock(files.mutex);
    for (const std::u16string& path : files.paths) RemoveFile(path.c_str());
    files.paths.clear();
}

}  // namespace TesselLibrary
