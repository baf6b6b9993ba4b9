// TesselLog, LogLinePrefix: UTF-16LE log lines with a local-time prefix,
// each appended whole in one write when it ends, so that another program
// opening the log for a moment can cut no line. A line that cannot reach the file goes to
// standard error instead, so no report is ever lost. Where every line is
// repeated there (kLogLinesOnStandardError), such a line still appears once.
#include "tessel_log.h"

#include <cstdio>
#include <vector>

#include "console.h"
#include "file_handle.h"
#include "platform.h"
#include "tessel_app.h"
#include "tessel_file.h"

namespace TesselLibrary {

namespace {

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

// What a log of this program starts with: nothing yet, or the "[" of its
// first line's time stamp in UTF-16LE.
bool LooksLikeLog(FileHandle& file) {
    std::uint8_t head[2] = {};
    std::uint32_t got = 0;
    if (!file.Read(head, sizeof head, &got)) return false;
    return got == 0 || (got == 2 && head[0] == '[' && head[1] == 0);
}

}  // namespace

struct TesselLogData {
    std::u16string path;
    bool atLineStart = true;
    bool toStandardError = false;  // the path is not ours to write: every line goes there
    bool created = false;          // this run made the file at the path
    bool failed = false;
    std::u16string line;           // the current line so far, prefix included
    bool lineLost = false;         // it did not reach the file
    std::size_t lines = 0;         // completed lines
    std::size_t linesLost = 0;     // completed lines that did not all reach the file

    // Appends to the log file. Its first write creates it new, so that a
    // file that appeared at the path meanwhile (or a link) is never written;
    // a missing folder is made first.
    bool AppendToFile(const std::u16string& text) {
        FileHandle file;
        if (!created) {
            if (!file.Open(path, FileHandle::Mode::CreateNew) && file.missing() &&
                CreateFolders(DirectoryOf(path))) {
                file.Open(path, FileHandle::Mode::CreateNew);
            }
            created = file.IsOpen();
        } else {
            file.Open(path, FileHandle::Mode::Append);
        }
        if (!file.IsOpen()) return false;
        const std::vector<std::uint8_t> bytes = LittleEndianBytes(text);
        const bool written = file.WriteWhole(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        return file.Close() && written;
    }
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

// A line left unfinished still reaches the file, as far as it went.
TesselLog::~TesselLog() {
    TesselLogData& d = *data_;
    if (!d.atLineStart && !d.path.empty() && !d.toStandardError) d.AppendToFile(d.line);
}

void TesselLog::Open(const std::u16string& fileName, bool onDesktop) {
    TesselLogData& d = *data_;
    d.toStandardError = false;
    d.created = false;
    if (fileName.empty()) {
        d.path.clear();
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
    d.path = path;

    // The name comes from the folder's name, so it may be a user's own file:
    // only an earlier log is removed.
    FileHandle old;
    if (old.Open(path, FileHandle::Mode::ReadNoLink)) {
        const bool isLog = LooksLikeLog(old);
        old.Close();
        if (!isLog) {
            d.toStandardError = true;
            WriteErrorText(u"The file " + path + u" is not a log; it was left as it is, and this run's log "
                           u"lines follow here." + kConsoleLineEnd);
        } else if (!RemoveFile(path.c_str())) {
            // Appending this run's lines to it would pass them off as old.
            d.toStandardError = true;
            WriteErrorText(u"The old log " + path + u" could not be removed; this run's log lines follow here." +
                           kConsoleLineEnd);
        }
    } else if (!old.missing()) {
        // Something that is not a readable file of ours: a link, a folder.
        d.toStandardError = true;
        WriteErrorText(u"The file " + path + u" is not a log; it was left as it is, and this run's log "
                       u"lines follow here." + kConsoleLineEnd);
    }
}

void TesselLog::Write(const std::u16string& text) {
    TesselLogData& d = *data_;
    if (d.path.empty()) return;
    if (d.atLineStart) {
        d.atLineStart = false;
        d.lineLost = false;
        d.line = LogLinePrefix(LocalDateTime());
    }
    d.line += text;
    if (text.find_first_of(u"\r\n") == std::u16string::npos) return;
    // The line is complete: written whole, its prefix holding the time of
    // its first piece.
    if (d.toStandardError || !d.AppendToFile(d.line)) {
        d.lineLost = true;
        d.failed = true;
    }
    d.atLineStart = true;
    ++d.lines;
    if (d.lineLost) ++d.linesLost;
    if (d.lineLost || kLogLinesOnStandardError) {
        std::u16string shown = d.line;
        if (shown.size() >= 2 && shown.compare(shown.size() - 2, 2, u"\r\n") == 0) {
            shown.resize(shown.size() - 2);
            shown += kConsoleLineEnd;
        }
        WriteErrorText(shown);
    }
    d.line.clear();
}

void TesselLog::Write(const char16_t* text) { Write(std::u16string(text ? text : u"")); }

void TesselLog::WriteLine(const std::u16string& text) {
    Write(text);
    Write(u"\r\n");
}

void TesselLog::WriteLine(const char16_t* text) { WriteLine(std::u16string(text ? text : u"")); }

const std::u16string& TesselLog::path() const { return data_->path; }

bool TesselLog::failed() const { return data_->failed; }

std::size_t TesselLog::lineCount() const { return data_->lines; }

std::size_t TesselLog::lostLineCount() const { return data_->linesLost; }

}  // namespace TesselLibrary
