// TesselLog, LogLinePrefix: UTF-16LE log lines with a local-time
// prefix, appended through a short-lived TesselFile on every write.
#include "tessel_log.h"

#include <cstdio>
#include <vector>

#include "platform.h"
#include "tessel_app.h"
#include "tessel_file.h"

namespace TesselLibrary {

namespace {

// The last resort of Open: "C:" on Windows; on POSIX the empty text, so that
// the separator that follows makes the path start at the root "/".
#ifdef _WIN32
constexpr const char16_t* kRootFolder = u"C:";
#else
constexpr const char16_t* kRootFolder = u"";
#endif

// UTF-16 little-endian bytes, whatever the host's byte order.
std::vector<std::uint8_t> LittleEndianBytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

bool AppendText(TesselFile& file, const std::u16string& text) {
    const std::vector<std::uint8_t> bytes = LittleEndianBytes(text);
    return file.Append(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

}  // namespace

struct TesselLogData {
    std::u16string path;
    bool atLineStart = true;
};

std::u16string LogLinePrefix(const TesselDateTime& when) {
    char buffer[96];
    const int length = std::snprintf(buffer, sizeof buffer, "[%04d-%02d-%02d %02d:%02d:%02d] ", when.year,
                                     when.month, when.day, when.hour, when.minute, when.second);
    std::u16string prefix;
    for (int i = 0; i < length && i < static_cast<int>(sizeof buffer) - 1; ++i)
        prefix.push_back(static_cast<char16_t>(static_cast<unsigned char>(buffer[i])));
    return prefix;
}

TesselLog::TesselLog() : data_(std::make_unique<TesselLogData>()) {}

TesselLog::~TesselLog() = default;

void TesselLog::Open(const std::u16string& fileName, bool onDesktop) {
    if (fileName.empty()) {
        data_->path.clear();
        return;
    }
    std::u16string path;
    if (!onDesktop) {
        path = fileName;
    } else {
        std::u16string folder = DesktopFolder();
        if (folder.empty()) TempFolder(folder);
        if (folder.empty()) folder = kRootFolder;
        // The temporary folder already ends in a separator; the doubled
        // separator that results is harmless on both platforms.
        path = folder + kPathSeparator + fileName;
    }
    RemoveFile(path.c_str());  // an old log from an earlier run; result ignored
    data_->path = path;
}

void TesselLog::Write(const std::u16string& text) {
    if (data_->path.empty()) return;
    TesselFile file(data_->path);
    if (data_->atLineStart) {
        data_->atLineStart = false;
        AppendText(file, LogLinePrefix(LocalDateTime()));
    }
    AppendText(file, text);  // an empty text still opens (and creates) the file
    if (text.find_first_of(u"\r\n") != std::u16string::npos) data_->atLineStart = true;
}

void TesselLog::Write(const char16_t* text) { Write(std::u16string(text ? text : u"")); }

void TesselLog::WriteLine(const std::u16string& text) {
    Write(text);
    Write(u"\r\n");
}

void TesselLog::WriteLine(const char16_t* text) { WriteLine(std::u16string(text ? text : u"")); }

const std::u16string& TesselLog::path() const { return data_->path; }

}  // namespace TesselLibrary
