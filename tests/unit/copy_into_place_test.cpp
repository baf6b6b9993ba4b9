// CopyAllIntoPlace with a caller told of each batch as it lands: the
// results it is given are of files already in place, and no file of a
// later request is replaced before its results come. So a caller that logs
// each result as it comes never leaves a replaced file unsaid for longer
// than its own batch.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>
#include <string>
#include <vector>

#include "copy_into_place.h"
#include "md5_test_support.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(int i, bool good) { return (good ? "good " : "damaged ") + std::to_string(i); }

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void Put(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

std::u16string NameOf(int i) {
    const std::string name = "f" + std::to_string(100 + i);
    return std::u16string(name.begin(), name.end());
}

// `files` files damaged below `root`/archive, each healed from its good copy
// below `root`/copy.
void CheckEachBatchSaidInPlace(const fs::path& root, int files) {
    const auto archived = [&](int i) { return root / "archive" / fs::path(NameOf(i)); };
    std::vector<TesselLibrary::CopyRequest> requests(files);
    const auto archive = TesselLibrary::Folder::Open((root / "archive").u16string());
    const auto copy = TesselLibrary::Folder::Open((root / "copy").u16string());
    ASSERT_TRUE(archive && copy);
    for (int i = 0; i < files; ++i) {
        Put(archived(i), Bytes(i, false));
        Put(root / "copy" / fs::path(NameOf(i)), Bytes(i, true));
        TesselLibrary::CopyRequest& request = requests[i];
        request.archive = archive;
        request.copy = copy;
        request.names = {NameOf(i)};
        const std::string digits = md5_test::Digits(Bytes(i, true));
        std::copy(digits.begin(), digits.end(), request.digits);
        request.judged = TesselLibrary::JudgedFile{};
        request.keptUnder = {u".sumvane-replaced", u"2026-12-09"};
    }

    int said = 0, calls = 0;
    TesselLibrary::CopyAllIntoPlace(requests, [&](const std::vector<TesselLibrary::CopyResult>& results) {
        ++calls;
        for (const TesselLibrary::CopyResult& result : results) {
            EXPECT_EQ(result.outcome, TesselLibrary::CopyOutcome::Replaced) << said;
            EXPECT_EQ(ReadAll(archived(said)), Bytes(said, true)) << "said before it is in place: " << said;
            ++said;
        }
        for (int later = said; later < files; ++later)
            EXPECT_EQ(ReadAll(archived(later)), Bytes(later, false)) << "in place before it is said: " << later;
    });
    EXPECT_EQ(said, files);
    EXPECT_GE(calls, 3) << "each batch said on its own";
    for (int i = 0; i < files; ++i) {
        EXPECT_EQ(ReadAll(root / "archive" / ".sumvane-replaced" / "2026-12-09" / fs::path(NameOf(i))),
                  Bytes(i, false));
    }
}

TEST(CopyAllIntoPlace, EachBatchIsSaidOnceInPlaceAndBeforeTheNext) {
    const fs::path root = fs::temp_directory_path() / ("sumvane-copies-" + std::to_string(std::random_device{}()));
    fs::remove_all(root);
    fs::create_directories(root / "archive");
    fs::create_directories(root / "copy");
    // Three batches, the last short.
    CheckEachBatchSaidInPlace(root, static_cast<int>(TesselLibrary::kCopiesAtOnce) * 2 + 5);
    // Once the folders are let go: Windows removes no folder held open.
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

}  // namespace
