// The JSON report of a run (-j), for scripts and monitoring systems that
// read JSON: JSON Lines, one object for each line the log gets, then one
// for the run. It is written into a temporary file beside its name as the
// run goes and put in the name's place at the end, so a run that is killed
// leaves the previous report as it was.
//
//     {"time":"2026-12-08 11:20:03","kind":"damaged","path":"/srv/photos/c.jpg",
//      "stored":"2CD6...","found":"B39B..."}
//     {"kind":"run","folder":"/srv/photos","exit_code":1,"seconds":12.5,...}
//
// Paths are UTF-8, an undecodable byte of a name shown as "\xff" (a
// terminal's way); digests are as the summary holds them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "file_time.h"
#include "run_figures.h"
#include "tessel_file.h"

// What one log line says, for its object.
struct ReportLine {
    const char* kind = "";  // "missing", "damaged", "new_file", ...
    std::u16string path;    // empty for a summary line that names no file
    std::u16string stored;  // the digests of a mismatch
    std::u16string found;
    std::optional<TesselLibrary::FileTime> modified;  // an edited file's date
    std::u16string other;                             // where it moved to, or the folder it was recorded under
};

class JsonReport {
public:
    explicit JsonReport(const std::u16string& path);

    // The object of one log line, with the local time as the log shows it.
    void addLine(const ReportLine& line);
    // The last object, then the report in its name's place. False when any
    // line could not be written or the file not replaced: the old one then
    // stays as it was.
    bool finish(const RunFigures& figures);

    const std::u16string& path() const { return path_; }

private:
    void write(const std::string& line);

    std::u16string path_;
    std::unique_ptr<TesselLibrary::TesselFile> file_;
    bool failed_ = false;
};

// The last object's text (without its line end).
std::string runObjectText(const RunFigures& figures);
