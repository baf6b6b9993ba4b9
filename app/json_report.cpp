#include "json_report.h"

#include <nlohmann/json.hpp>

#include <string_view>

#include "local_time.h"
#include "text.h"

using namespace TesselLibrary;
// Keys in the order they are set: the kind and the path first, as a person
// reading the report looks for them.
using json = nlohmann::ordered_json;

namespace {

std::string Utf8(const std::u16string& text) { return ToUtf8Shown(text); }

std::string Dumped(const json& object) {
    // Every text is well-formed UTF-8 already; replacing is a safeguard,
    // never a throw in the middle of a run.
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

// What the text after a line's message is, by the line's kind.
const char* DetailKey(std::string_view kind) {
    if (kind == "moved") return "moved_to";
    if (kind == "recorded_under" || kind == "undecided") return "recorded_under";  // the folder(s)
    if (kind == "repaired" || kind == "restored") return "from";                   // the copy's file
    if (kind == "no_good_copy" || kind == "not_repaired") return "reason";
    return "detail";
}

}  // namespace

JsonReport::JsonReport(const std::u16string& path) : path_(path), file_(std::make_unique<TesselFile>(path)) {
    file_->SetReport();  // it names the folder's files
}

void JsonReport::write(const std::string& line) {
    if (failed_) return;
    const std::string bytes = line + "\n";
    if (!file_->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()))) failed_ = true;
}

void JsonReport::addLine(const ReportLine& line) {
    json object;
    object["time"] = Utf8(DateTimeText(LocalDateTime()));
    object["kind"] = line.kind;
    if (!line.path.empty()) object["path"] = Utf8(line.path);
    if (!line.stored.empty()) object["stored"] = Utf8(line.stored);
    if (!line.found.empty()) object["found"] = Utf8(line.found);
    if (line.modified) object["modified"] = Utf8(DateTimeText(LocalDateTimeOf(*line.modified)));
    if (!line.other.empty()) object[DetailKey(line.kind)] = Utf8(line.other);
    write(Dumped(object));
}

std::string runObjectText(const RunFigures& figures) {
    json counts = json::object();
    for (const ProblemCount& kind : problemCounts(figures.problems)) counts[kind.name] = kind.count;
    counts["new_file"] = figures.newFiles;
    json object = {
        {"kind", "run"},
        {"folder", Utf8(figures.folder)},
        {"started", figures.startedAt},
        {"seconds", figures.seconds},
        {"exit_code", figures.exitCode},
        {"files_checked", figures.filesChecked},
        {"bytes_read", figures.bytesRead},
        {"recorded_files", figures.recordedFiles},
        {"counts", counts},
    };
    object["repairs"] =
        figures.repairs ? json{{"repaired", figures.repairs->repaired}, {"not_repaired", figures.repairs->notRepaired}}
                        : json(nullptr);
    if (figures.slice) {
        object["coverage"] = {
            {"entries_checked", figures.slice->entriesChecked},
            {"entries", figures.slice->entries},
            {"full_round", figures.slice->fullRoundAt ? json(*figures.slice->fullRoundAt) : json(nullptr)},
        };
    } else {
        object["coverage"] = nullptr;
    }
    return Dumped(object);
}

bool JsonReport::finish(const RunFigures& figures) {
    write(runObjectText(figures));
    if (failed_) {
        file_->Close();  // the temporary file goes; the old report stays
        return false;
    }
    return file_->Commit();
}
