#include "prometheus_metrics.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "tessel_file.h"
#include "text.h"

using namespace TesselLibrary;

namespace {

// A metrics file is some lines per folder: anything larger is not one.
constexpr std::uint32_t kLargestPrevious = 1u << 20;

class MetricsText {
public:
    explicit MetricsText(const std::u16string& folder) : label_("folder=\"" + metricsLabelValue(folder) + "\"") {}

    // The HELP and TYPE lines of a metric, once before its samples.
    void describe(const char* name, const char* type, const char* help) {
        text_ += std::string("# HELP ") + name + " " + help + "\n";
        text_ += std::string("# TYPE ") + name + " " + type + "\n";
    }
    void sample(const char* name, const std::string& value, const std::string& kind = {}) {
        text_ += std::string(name) + "{" + label_;
        if (!kind.empty()) text_ += ",kind=\"" + kind + "\"";
        text_ += "} " + value + "\n";
    }
    void gauge(const char* name, const char* help, const std::string& value) {
        describe(name, "gauge", help);
        sample(name, value);
    }
    const std::string& text() const { return text_; }

private:
    std::string label_;
    std::string text_;
};

std::string Number(std::uint64_t value) { return std::to_string(value); }
std::string Number(std::int64_t value) { return std::to_string(value); }

std::string Seconds(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", value < 0 ? 0.0 : value);
    return text;
}

std::int64_t FinishedAt(const RunFigures& figures) {
    return figures.startedAt + static_cast<std::int64_t>(figures.seconds + 0.5);
}

}  // namespace

std::string metricsLabelValue(const std::u16string& text) {
    std::string value;
    for (const char c : ToUtf8Shown(text)) {
        if (c == '\\') {
            value += "\\\\";
        } else if (c == '"') {
            value += "\\\"";
        } else if (c == '\n') {
            value += "\\n";
        } else {
            value.push_back(c);
        }
    }
    return value;
}

namespace {

// The problems of the run, one sample of sumvane_problems for each kind the
// closing line counts.
void AddProblems(MetricsText& out, const ProblemFigures& problems) {
    out.describe("sumvane_problems", "gauge", "Problems the last run logged, by kind.");
    for (const ProblemCount& kind : problemCounts(problems))
        out.sample("sumvane_problems", Number(kind.count), kind.name);
}

}  // namespace

std::string metricsText(const RunFigures& figures, std::optional<std::int64_t> lastSuccessAt) {
    MetricsText out(figures.folder);
    const bool success = figures.exitCode == 0 && !figures.interrupted;
    const std::int64_t finished = FinishedAt(figures);
    out.gauge("sumvane_last_run_timestamp_seconds", "When the last run of the folder ended, in seconds since 1970.",
              Number(finished));
    out.gauge("sumvane_last_run_success", "1 when the last run of the folder found no problem (exit code 0), else 0.",
              success ? "1" : "0");
    out.gauge("sumvane_last_success_timestamp_seconds",
              "When the last run of the folder that found no problem ended, in seconds since 1970; 0 for never.",
              Number(success ? finished : lastSuccessAt.value_or(0)));
    out.gauge("sumvane_run_duration_seconds", "How long the last run of the folder took.", Seconds(figures.seconds));
    // What an interrupted run had counted is not known: its counts are left
    // out rather than given as nothing found.
    if (figures.interrupted) return out.text();
    out.gauge("sumvane_files_checked", "Files the last run read and checked (or recorded).",
              Number(figures.filesChecked));
    out.gauge("sumvane_bytes_read", "Bytes the last run read to make digests.", Number(figures.bytesRead));
    // Not "summary_entries": a name holding "summary" reads as the type
    // summary to Prometheus' lint (promtool check metrics).
    out.gauge("sumvane_recorded_files", "Files the folder's summary records (its entries).",
              Number(figures.recordedFiles));
    AddProblems(out, figures.problems);
    out.gauge("sumvane_new_files", "Files the last run found that the summary does not list (-a).",
              Number(figures.newFiles));
    if (figures.repairs) {
        out.gauge("sumvane_repaired_files", "Files the last run healed from the copy (-b): repaired or restored.",
                  Number(figures.repairs->repaired));
        out.gauge("sumvane_unrepaired_files", "Files the last run was to heal from the copy (-b) and could not.",
                  Number(figures.repairs->notRepaired));
    }
    if (figures.slice) {
        out.gauge("sumvane_slice_entries_checked", "Entries of the summary the last slice checked (-t).",
                  Number(figures.slice->entriesChecked));
        out.gauge("sumvane_full_round_timestamp_seconds",
                  "When the slices last finished checking every entry, in seconds since 1970; 0 for never.",
                  Number(figures.slice->fullRoundAt.value_or(0)));
    }
    return out.text();
}

std::optional<std::int64_t> lastSuccessIn(std::string_view text, const std::u16string& folder) {
    const std::string start = "sumvane_last_success_timestamp_seconds{folder=\"" + metricsLabelValue(folder) + "\"} ";
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.substr(0, start.size()) != start) continue;
        const std::string_view value = line.substr(start.size());
        std::int64_t seconds = 0;
        const auto [past, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (error != std::errc() || past != value.data() + value.size() || seconds <= 0) return std::nullopt;
        return seconds;
    }
    return std::nullopt;
}

bool writeMetricsFile(const std::u16string& path, const RunFigures& figures) {
    // Not made as a report (0640, the folder's group): the collector that
    // reads the file runs as a user of its own (Debian's node_exporter as
    // prometheus, its folder root's), and the figures name no file of the
    // folder, only the folder, whose name its parent shows anyway.
    TesselFile file(path);
    std::optional<std::int64_t> lastSuccess;
    if (file.OpenRead()) {
        std::vector<char> previous(kLargestPrevious);
        std::uint32_t count = 0;
        if (file.Read(previous.data(), kLargestPrevious, &count))
            lastSuccess = lastSuccessIn(std::string_view(previous.data(), count), figures.folder);
        file.Close();
    }
    const std::string text = metricsText(figures, lastSuccess);
    return file.Write(text.data(), static_cast<std::uint32_t>(text.size())) && file.Commit();
}
