// The reports other programs read: the metrics file (Prometheus' text
// format) and the JSON report's objects. The real readers (node_exporter,
// promtool, jq) read what the program writes in tests/monitoring.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "json_report.h"
#include "local_time.h"
#include "prometheus_metrics.h"

namespace {

// The sample lines of a metrics text (HELP and TYPE left out).
std::vector<std::string> Samples(const std::string& text) {
    std::vector<std::string> samples;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        if (line.rfind("# ", 0) != 0) samples.push_back(line);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return samples;
}

bool Holds(const std::vector<std::string>& samples, const std::string& sample) {
    for (const std::string& each : samples)
        if (each == sample) return true;
    return false;
}

RunFigures Clean() {
    RunFigures run;
    run.folder = u"/srv/photos";
    run.startedAt = 1796000000;
    run.seconds = 12.25;
    run.exitCode = 0;
    run.filesChecked = 3;
    run.bytesRead = 4096;
    run.recordedFiles = 3;
    return run;
}

TEST(PrometheusMetrics, GivesTheRunsFiguresAsSamples) {
    RunFigures damaged = Clean();
    damaged.exitCode = 1;
    damaged.problems.damaged = 2;
    damaged.problems.missing = 1;
    damaged.newFiles = 4;
    RunFigures interrupted = Clean();
    interrupted.exitCode = 1;
    interrupted.interrupted = true;
    RunFigures sliced = Clean();
    sliced.slice = SliceFigures{1200, 50000, 1795000000};
    RunFigures healed = damaged;
    healed.repairs = RepairFigures{2, 1};
    RunFigures firstSlice = Clean();
    firstSlice.slice = SliceFigures{1200, 50000, std::nullopt};
    const std::string f = "{folder=\"/srv/photos\"}";
    const struct Case {
        const char* what;
        RunFigures run;
        std::optional<std::int64_t> lastSuccess;
        std::vector<std::string> present;
        std::vector<std::string> absent;  // names whose samples must not be there
    } cases[] = {
        {"clean",
         Clean(),
         1700000000,
         {"sumvane_last_run_timestamp_seconds" + f + " 1796000012", "sumvane_last_run_success" + f + " 1",
          "sumvane_last_success_timestamp_seconds" + f + " 1796000012", "sumvane_run_duration_seconds" + f + " 12.250",
          "sumvane_files_checked" + f + " 3", "sumvane_bytes_read" + f + " 4096", "sumvane_recorded_files" + f + " 3",
          "sumvane_problems{folder=\"/srv/photos\",kind=\"damaged\"} 0", "sumvane_new_files" + f + " 0"},
         {"sumvane_slice_entries_checked", "sumvane_full_round_timestamp_seconds", "sumvane_repaired_files"}},
        {"damage found: the last success is carried over",
         damaged,
         1700000000,
         {"sumvane_last_run_success" + f + " 0", "sumvane_last_success_timestamp_seconds" + f + " 1700000000",
          "sumvane_problems{folder=\"/srv/photos\",kind=\"damaged\"} 2",
          "sumvane_problems{folder=\"/srv/photos\",kind=\"missing\"} 1",
          "sumvane_problems{folder=\"/srv/photos\",kind=\"edited\"} 0", "sumvane_new_files" + f + " 4"},
         {}},
        {"failed, never a success before",
         damaged,
         std::nullopt,
         {"sumvane_last_success_timestamp_seconds" + f + " 0"},
         {}},
        {"interrupted: success 0, no counts",
         interrupted,
         1700000000,
         {"sumvane_last_run_success" + f + " 0", "sumvane_last_success_timestamp_seconds" + f + " 1700000000",
          "sumvane_run_duration_seconds" + f + " 12.250"},
         {"sumvane_files_checked", "sumvane_problems", "sumvane_new_files"}},
        {"a slice",
         sliced,
         std::nullopt,
         {"sumvane_slice_entries_checked" + f + " 1200", "sumvane_full_round_timestamp_seconds" + f + " 1795000000"},
         {}},
        {"healed from a copy",
         healed,
         std::nullopt,
         {"sumvane_repaired_files" + f + " 2", "sumvane_unrepaired_files" + f + " 1"},
         {}},
        {"a slice before the first full round",
         firstSlice,
         std::nullopt,
         {"sumvane_full_round_timestamp_seconds" + f + " 0"},
         {}},
    };
    for (const Case& c : cases) {
        const std::string text = metricsText(c.run, c.lastSuccess);
        const std::vector<std::string> samples = Samples(text);
        for (const std::string& sample : c.present)
            EXPECT_TRUE(Holds(samples, sample)) << c.what << ": " << sample << "\n" << text;
        for (const std::string& name : c.absent)
            EXPECT_EQ(text.find(name + "{"), std::string::npos) << c.what << ": " << name;
        // Every metric is described once, before its samples; no sample has a time stamp.
        for (const std::string& sample : samples) {
            const std::string name = sample.substr(0, sample.find('{'));
            const std::size_t help = text.find("# HELP " + name + " ");
            const std::size_t type = text.find("# TYPE " + name + " gauge\n");
            EXPECT_NE(help, std::string::npos) << c.what << ": " << name;
            EXPECT_LT(type, text.find(sample)) << c.what << ": " << name;
            EXPECT_EQ(text.find("# TYPE " + name + " ", type + 1), std::string::npos) << c.what << ": " << name;
            EXPECT_EQ(sample.find(' '), sample.rfind(' ')) << c.what << ": " << sample;
        }
    }
    // Every kind the closing line counts has its sample.
    const std::vector<std::string> samples = Samples(metricsText(Clean(), std::nullopt));
    for (const char* kind : {"damaged", "edited", "mismatch", "missing", "unreadable", "unreadable_folder",
                             "invalid_line", "unwritable", "not_on_disk", "missing_data", "moved", "undecided"}) {
        EXPECT_TRUE(Holds(samples, "sumvane_problems{folder=\"/srv/photos\",kind=\"" + std::string(kind) + "\"} 0"))
            << kind;
    }
}

TEST(PrometheusMetrics, EscapesTheFolderAsTheFormatSays) {
    const struct Case {
        std::u16string folder;
        std::string label;
    } cases[] = {
        {u"/srv/photos", "/srv/photos"},
        {u"/srv/\"best\" of", "/srv/\\\"best\\\" of"},
        {u"C:\\Data", "C:\\\\Data"},
        {u"/srv/line\nend", "/srv/line\\nend"},
        {u"/srv/caf\u00e9", "/srv/caf\xc3\xa9"},
        // An undecodable byte of a Linux name: shown as the terminal shows it.
        {u"/srv/\xdcff\xdc80", "/srv/\\\\xff\\\\x80"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(metricsLabelValue(c.folder), c.label);
        RunFigures run = Clean();
        run.folder = c.folder;
        // The last success is found again under the same escaped label.
        EXPECT_EQ(lastSuccessIn(metricsText(run, std::nullopt), c.folder), 1796000012);
        EXPECT_EQ(lastSuccessIn(metricsText(run, std::nullopt), c.folder + u"x"), std::nullopt);
    }
    EXPECT_EQ(lastSuccessIn("", u"/srv/photos"), std::nullopt);
    EXPECT_EQ(lastSuccessIn("sumvane_last_success_timestamp_seconds{folder=\"/srv/photos\"} 12x\n", u"/srv/photos"),
              std::nullopt);
}

TEST(JsonReport, TheLastObjectHoldsTheRunsFigures) {
    RunFigures run = Clean();
    run.folder = u"/srv/\xdcff\"x\"";
    run.exitCode = 1;
    run.problems.edited = 1;
    run.problems.missingData = 1;
    run.newFiles = 2;
    run.slice = SliceFigures{10, 20, std::nullopt};
    const nlohmann::json object = nlohmann::json::parse(runObjectText(run));
    EXPECT_EQ(object["kind"], "run");
    EXPECT_EQ(object["folder"], "/srv/\\xff\"x\"");
    EXPECT_EQ(object["exit_code"], 1);
    EXPECT_EQ(object["seconds"], 12.25);
    EXPECT_EQ(object["files_checked"], 3);
    EXPECT_EQ(object["bytes_read"], 4096);
    EXPECT_EQ(object["counts"]["edited"], 1);
    EXPECT_EQ(object["counts"]["missing_data"], 1);
    EXPECT_EQ(object["counts"]["damaged"], 0);
    EXPECT_EQ(object["counts"]["new_file"], 2);
    EXPECT_EQ(object["coverage"]["entries_checked"], 10);
    EXPECT_TRUE(object["coverage"]["full_round"].is_null());
    EXPECT_TRUE(nlohmann::json::parse(runObjectText(Clean()))["coverage"].is_null());
    EXPECT_TRUE(object["repairs"].is_null());
    run.repairs = RepairFigures{3, 0};
    EXPECT_EQ(nlohmann::json::parse(runObjectText(run))["repairs"]["repaired"], 3);
}

// A slice's last full round is kept as a local time; its metric is the
// moment that names, in any time zone the run has.
TEST(PrometheusMetrics, TheFullRoundsLocalTimeIsTheMomentItNames) {
    for (const std::int64_t moment : {std::int64_t{0} + 86400, std::int64_t{1796000000}, std::int64_t{1782864000}}) {
        const TesselLibrary::TesselDateTime local = TesselLibrary::LocalDateTimeOf({moment, 0});
        EXPECT_EQ(TesselLibrary::SecondsOfLocalDateTime(local), moment) << moment;
    }
}

}  // namespace
