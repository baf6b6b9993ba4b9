// The reports other programs read (-m, -j): a folder's runs one after the
// other, and the samples of the metrics file and the objects of the JSON
// report each leaves; a file that cannot be written; an interrupted run.
// What Prometheus' own tools make of these files is tested in
// tests/monitoring with the real ones.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "expectations.h"
#include "harness.h"
#include "tree.h"

using namespace e2e;

namespace {

using Samples = std::map<std::string, std::string>;

// The samples of a metrics text, each "name{labels}" (the folder label left
// out, and checked to be `folder`) with its value; HELP and TYPE lines
// must come once before each metric's first sample.
Samples SamplesOf(const std::string& text, const std::string& folderLabel) {
    Samples samples;
    std::map<std::string, int> described;
    static const std::regex sample("([a-z_]+)\\{folder=\"((?:[^\"\\\\]|\\\\.)*)\"(,kind=\"[a-z_]+\")?\\} ([0-9.]+)");
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        std::smatch m;
        if (line.starts_with("# HELP ")) {
            ++described[line.substr(7, line.find(' ', 7) - 7)];
        } else if (line.starts_with("# TYPE ")) {
            EXPECT_TRUE(line.ends_with(" gauge")) << line;
        } else if (std::regex_match(line, m, sample)) {
            EXPECT_EQ(m[2].str(), folderLabel) << line;
            EXPECT_EQ(described[m[1].str()], 1) << line;
            samples[m[1].str() + (m[3].matched ? "{" + m[3].str().substr(1) + "}" : "")] = m[4].str();
        } else {
            ADD_FAILURE() << "not a line of the format: " << line;
        }
    }
    EXPECT_EQ(at, text.size()) << "the last line has no end";
    return samples;
}

// The folder as a label value: backslash and quote escaped.
std::string LabelOf(const std::string& text) {
    std::string label;
    for (const char c : text) label += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
    return label;
}

std::vector<nlohmann::json> ObjectsOf(const std::string& text) {
    std::vector<nlohmann::json> objects;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        objects.push_back(nlohmann::json::parse(text.substr(at, end - at)));
    }
    EXPECT_EQ(at, text.size()) << "the last line has no end";
    return objects;
}

long long Now() { return static_cast<long long>(std::time(nullptr)); }

const char* const kKinds[] = {
    "damaged",      "edited",     "mismatch",    "missing",      "unreadable", "unreadable_folder",
    "invalid_line", "unwritable", "not_on_disk", "missing_data", "moved",      "undecided"};

// A folder's life: built, checked clean, damaged, grown, checked in a slice,
// each run writing both reports. Every kind the run does not name is 0.
TEST(Reports, EachRunLeavesItsFiguresAndItsLines) {
    Sandbox box;
    const fs::path root = box.root() / "photos";
    MakeTree(root, {{"a.jpg", "photo a", ""}, {"sub/b.jpg", "photo b", ""}, {"sub/c.jpg", "photo c", ""}});
    const std::string text = Native(root);
    const fs::path metrics = box.root() / "sumvane_photos.prom";
    const fs::path report = box.root() / "photos.json";
    const std::string b = Native(root / "sub" / "b.jpg"), c = Native(root / "sub" / "c.jpg");
    const std::string storedB = Md5Of("photo b"), foundB = Md5Of("photo B");
    const struct Step {
        const char* what;
        std::vector<std::string> args;
        std::function<void()> before;
        int exitCode;
        Samples expected;  // beside every kind at 0
        std::vector<std::string> absent;
        std::vector<std::string> kinds;  // of the JSON report's lines, in order, before "run"
    } steps[] = {
        {"a build",
         {"-r", "-c"},
         [] {},
         0,
         {{"sumvane_last_run_success", "1"},
          {"sumvane_files_checked", "3"},
          {"sumvane_recorded_files", "3"},
          {"sumvane_bytes_read", "21"},
          {"sumvane_new_files", "0"}},
         {"sumvane_slice_entries_checked", "sumvane_full_round_timestamp_seconds"},
         {}},
        {"a clean check",
         {"-v"},
         [] {},
         0,
         {{"sumvane_last_run_success", "1"},
          {"sumvane_files_checked", "3"},
          {"sumvane_recorded_files", "3"},
          {"sumvane_bytes_read", "21"}},
         {},
         {}},
        {"damage and a file gone",
         {"-v"},
         [&] {
             const auto date = fs::last_write_time(root / "sub" / "b.jpg");
             WriteFile(root / "sub" / "b.jpg", "photo B");
             fs::last_write_time(root / "sub" / "b.jpg", date);
             fs::remove(root / "sub" / "c.jpg");
         },
         1,
         {{"sumvane_last_run_success", "0"},
          {"sumvane_files_checked", "2"},
          {"sumvane_recorded_files", "3"},
          {"sumvane_bytes_read", "14"},
          {"sumvane_problems{kind=\"damaged\"}", "1"},
          {"sumvane_problems{kind=\"missing\"}", "1"}},
         {},
         {"damaged", "missing"}},
        {"a new file, and the missing one found moved",
         {"-av"},
         [&] { WriteFile(root / "d.jpg", "photo c"); },
         1,
         {{"sumvane_files_checked", "2"},
          {"sumvane_new_files", "0"},
          {"sumvane_problems{kind=\"damaged\"}", "1"},
          {"sumvane_problems{kind=\"moved\"}", "1"}},
         {},
         {"damaged", "moved"}},
        {"rebuilt, then a slice that goes round",
         {"-r", "-c", "-v", "-t1h"},
         [&] { WriteFile(root / "e.jpg", "new"); },
         0,
         {{"sumvane_last_run_success", "1"},
          {"sumvane_files_checked", "4"},
          {"sumvane_recorded_files", "4"},
          {"sumvane_slice_entries_checked", "4"},
          {"sumvane_bytes_read", "48"}},
         {},
         {}},
    };
    std::string lastSuccess = "0";
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.before();
        std::vector<std::string> args = {"-f" + text};
        args.insert(args.end(), step.args.begin(), step.args.end());
        args.insert(args.end(), {"-m", Native(metrics), "-j" + Native(report), "-o" + Native(box.root() / "logs")});
        const long long before = Now();
        const RunResult r = box.Run(args);
        const long long after = Now();
        EXPECT_EQ(r.exitCode, step.exitCode) << r.err;

        const Samples samples = SamplesOf(ReadFile(metrics).value_or(""), LabelOf(text));
        Samples expected;
        for (const char* kind : kKinds) expected["sumvane_problems{kind=\"" + std::string(kind) + "\"}"] = "0";
        for (const auto& [name, value] : step.expected) expected[name] = value;
        for (const auto& [name, value] : expected) {
            EXPECT_EQ(samples.count(name) ? samples.at(name) : "<none>", value) << name;
        }
        for (const std::string& name : step.absent) EXPECT_EQ(samples.count(name), 0u) << name;
        const long long ended = std::stoll(samples.count("sumvane_last_run_timestamp_seconds")
                                               ? samples.at("sumvane_last_run_timestamp_seconds")
                                               : "0");
        EXPECT_GE(ended, before);
        EXPECT_LE(ended, after + 1);
        EXPECT_LE(std::stod(samples.count("sumvane_run_duration_seconds") ? samples.at("sumvane_run_duration_seconds")
                                                                          : "-1"),
                  static_cast<double>(after - before + 1));
        // A failed run keeps the time of the last one that held.
        if (step.exitCode == 0) lastSuccess = std::to_string(ended);
        EXPECT_EQ(samples.count("sumvane_last_success_timestamp_seconds")
                      ? samples.at("sumvane_last_success_timestamp_seconds")
                      : "<none>",
                  lastSuccess);
        if (step.expected.count("sumvane_slice_entries_checked")) {
            EXPECT_GE(std::stoll(samples.at("sumvane_full_round_timestamp_seconds")), before - 1);
        }

        const std::vector<nlohmann::json> objects = ObjectsOf(ReadFile(report).value_or(""));
        ASSERT_EQ(objects.size(), step.kinds.size() + 1);
        for (std::size_t i = 0; i < step.kinds.size(); ++i) {
            EXPECT_EQ(objects[i]["kind"], step.kinds[i]) << objects[i];
            EXPECT_TRUE(std::regex_match(objects[i]["time"].get<std::string>(),
                                         std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}")));
        }
        const nlohmann::json& run = objects.back();
        EXPECT_EQ(run["kind"], "run");
        EXPECT_EQ(run["folder"], text);
        EXPECT_EQ(run["exit_code"], step.exitCode);
        EXPECT_EQ(std::to_string(run["files_checked"].get<long long>()), expected["sumvane_files_checked"]);
        for (const char* kind : kKinds) {
            EXPECT_EQ(std::to_string(run["counts"][kind].get<long long>()),
                      expected["sumvane_problems{kind=\"" + std::string(kind) + "\"}"])
                << kind;
        }
        EXPECT_EQ(run["coverage"].is_null(), !step.expected.count("sumvane_slice_entries_checked"));
        if (step.kinds.size() == 2 && step.kinds[0] == "damaged") {
            const nlohmann::json& damaged = objects[0];
            EXPECT_EQ(damaged["path"], b);
            EXPECT_EQ(damaged["stored"], storedB);
            EXPECT_EQ(damaged["found"], foundB);
            EXPECT_EQ(damaged["modified"], LocalTimeText(WriteTimeOf(root / "sub" / "b.jpg")));
            EXPECT_EQ(objects[1]["path"], c);
            if (step.kinds[1] == "moved") {
                EXPECT_EQ(objects[1]["moved_to"], Native(root / "d.jpg"));
            }
        }
    }
    // Nothing but the two files where they were named: no temporary file.
    EXPECT_FALSE(HasTemporaryFile(box.root()));
}

// The exact bytes of a clean build's figures (the times aside), for a name
// that holds what the format escapes.
TEST(Reports, TheMetricsFileIsTheFormatsOwn) {
    Sandbox box;
    // A Windows name cannot hold a quote; its backslashes are escaped.
    const fs::path root = box.root() / (WineMode() ? "my best photos" : "my \"best\" photos");
    MakeTree(root, {{"a.jpg", "photo a", ""}});
    const std::string text = Native(root);
    const fs::path metrics = box.root() / "m.prom";
    ExpectRun(box.Run({"-f" + text, "-c", "-m" + Native(metrics)}), 0);
    std::string bytes = ReadFile(metrics).value_or("");
    bytes = std::regex_replace(bytes, std::regex("(_seconds\\{[^}]*\\}) [0-9.]+\n"), "$1 T\n");
    const std::string f = "{folder=\"" + LabelOf(text) + "\"}";
    std::string expected =
        "# HELP sumvane_last_run_timestamp_seconds When the last run of the folder ended, in seconds since 1970.\n"
        "# TYPE sumvane_last_run_timestamp_seconds gauge\n"
        "sumvane_last_run_timestamp_seconds" +
        f +
        " T\n"
        "# HELP sumvane_last_run_success 1 when the last run of the folder found no problem (exit code 0), else 0.\n"
        "# TYPE sumvane_last_run_success gauge\n"
        "sumvane_last_run_success" +
        f +
        " 1\n"
        "# HELP sumvane_last_success_timestamp_seconds When the last run of the folder that found no problem ended, "
        "in seconds since 1970; 0 for never.\n"
        "# TYPE sumvane_last_success_timestamp_seconds gauge\n"
        "sumvane_last_success_timestamp_seconds" +
        f +
        " T\n"
        "# HELP sumvane_run_duration_seconds How long the last run of the folder took.\n"
        "# TYPE sumvane_run_duration_seconds gauge\n"
        "sumvane_run_duration_seconds" +
        f +
        " T\n"
        "# HELP sumvane_files_checked Files the last run read and checked (or recorded).\n"
        "# TYPE sumvane_files_checked gauge\n"
        "sumvane_files_checked" +
        f +
        " 1\n"
        "# HELP sumvane_bytes_read Bytes the last run read to make digests.\n"
        "# TYPE sumvane_bytes_read gauge\n"
        "sumvane_bytes_read" +
        f +
        " 7\n"
        "# HELP sumvane_recorded_files Files the folder's summary records (its entries).\n"
        "# TYPE sumvane_recorded_files gauge\n"
        "sumvane_recorded_files" +
        f +
        " 1\n"
        "# HELP sumvane_problems Problems the last run logged, by kind.\n"
        "# TYPE sumvane_problems gauge\n";
    for (const char* kind : kKinds) {
        expected += "sumvane_problems{folder=\"" + LabelOf(text) + "\",kind=\"" + kind + "\"} 0\n";
    }
    expected +=
        "# HELP sumvane_new_files Files the last run found that the summary does not list (-a).\n"
        "# TYPE sumvane_new_files gauge\n"
        "sumvane_new_files" +
        f + " 0\n";
    EXPECT_EQ(bytes, expected);
}

// A report that cannot be written fails the run, in one line each, however
// clean the check; the other is still written, and says so.
TEST(Reports, AFileThatCannotBeWrittenFailsTheRun) {
    Sandbox box;
    const fs::path root = box.root() / "data";
    MakeTree(root, {{"a.txt", "a", ""}});
    ExpectRun(box.Run({"-f" + Native(root), "-c"}), 0);
    const fs::path nowhere = box.root() / "no such folder";
    const fs::path metrics = box.root() / "m.prom", report = box.root() / "r.json";
    const struct Case {
        std::string metrics, report, said;
        const char* success;  // in the metrics file written: "" for none
    } cases[] = {
        {Native(nowhere / "m.prom"), Native(report), "-m: could not write " + Native(nowhere / "m.prom"), ""},
        {Native(metrics), Native(nowhere / "r.json"), "-j: could not write " + Native(nowhere / "r.json"), "0"},
        // A name's escape sequence reaches the terminal as the escape's text.
        {Native(metrics), Native(nowhere / "r\x1b]0;t\x07\x1b[2J.json"),
         "-j: could not write " + Native(nowhere / "r\\x1b]0;t\\x07\\x1b[2J.json"), "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        fs::remove(metrics);
        fs::remove(report);
        const RunResult r = box.Run({"-f" + Native(root), "-v", "-m" + c.metrics, "-j" + c.report});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, Banner());
        if (!WineMode()) {
            EXPECT_EQ(r.err, "sumvane: " + c.said + "; it is left as it was\n");
        }
        if (*c.success) {
            EXPECT_NE(ReadFile(metrics).value_or("").find("sumvane_last_run_success{"), std::string::npos);
            EXPECT_NE(
                ReadFile(metrics).value_or("").find("} " + std::string(c.success) + "\n# HELP sumvane_last_success"),
                std::string::npos);
        } else {
            // The JSON report was written first: it holds the run as it was.
            EXPECT_EQ(ObjectsOf(ReadFile(report).value_or("")).back()["exit_code"], 0);
        }
    }
    EXPECT_FALSE(fs::exists(nowhere));
}

// A run stopped by a signal leaves its figures as those of a run that
// failed (its counts left out: they are not known), keeping the last
// success; its JSON report it leaves as it was.
TEST(Reports, AnInterruptedRunSaysSo) {
    if (WineMode()) GTEST_SKIP() << "POSIX signals";
    Sandbox box;
    const fs::path root = box.root() / "data";
    MakeTree(root, {{"a.txt", "a", ""}, {"slow.txt", "slow", ""}});
    const fs::path metrics = box.root() / "m.prom", report = box.root() / "r.json";
    const std::vector<std::string> args = {"-f" + Native(root), "-v", "-m" + Native(metrics), "-j" + Native(report)};
    ExpectRun(box.Run({"-f" + Native(root), "-c"}), 0);
    ExpectRun(box.Run(args), 0);
    const Samples clean = SamplesOf(ReadFile(metrics).value_or(""), LabelOf(Native(root)));
    const std::optional<std::string> cleanReport = ReadFile(report);
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        RunOptions held;  // its open of slow.txt waits 20 s
        held.env = {{"LD_PRELOAD", SUMVANE_AT_OPEN_LIBRARY},
                    {"SUMVANE_PAUSE_NAME", "slow.txt"},
                    {"SUMVANE_PAUSE_SECONDS", "20"},
                    {"ASAN_OPTIONS", WithLinkOrderUnchecked()}};
        const auto start = std::chrono::steady_clock::now();
        bool sent = false;
        held.whileRunning = [&](pid_t pid) {
            if (!sent && std::chrono::steady_clock::now() - start > std::chrono::milliseconds(500)) {
                sent = ::kill(pid, signal) == 0;
            }
        };
        const RunResult r = box.Run(args, held);
        ASSERT_TRUE(sent);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "sumvane: interrupted; " + Native(root / "Sumvane.md5") + " left as it was\n");
        const Samples samples = SamplesOf(ReadFile(metrics).value_or(""), LabelOf(Native(root)));
        EXPECT_EQ(samples.at("sumvane_last_run_success"), "0");
        EXPECT_EQ(samples.at("sumvane_last_success_timestamp_seconds"),
                  clean.at("sumvane_last_success_timestamp_seconds"));
        EXPECT_GE(std::stod(samples.at("sumvane_run_duration_seconds")), 0.4);
        EXPECT_EQ(samples.count("sumvane_files_checked"), 0u);
        EXPECT_EQ(samples.count("sumvane_problems{kind=\"damaged\"}"), 0u);
        EXPECT_EQ(ReadFile(report), cleanReport);
        EXPECT_FALSE(HasTemporaryFile(box.root()));
    }
}

// The packaged units run their command through a shell that adds -m where
// node_exporter's textfile folder exists (by default Debian's), the file
// named by the instance: sumvane-check@srv-photos.service writes
// sumvane_srv-photos.prom. Where it does not, the command runs as it is.
TEST(Reports, TheUnitsWriteTheMetricsWhereNodeExportersFolderIs) {
    if (WineMode()) GTEST_SKIP() << "systemd is Linux's";
    Sandbox box;
    const fs::path photos = box.root() / "srv" / "photos";
    MakeTree(photos, {{"a.jpg", "photo a", ""}});
    ExpectRun(box.Run({"-f" + photos.string(), "-c"}), 0);
    const fs::path textfiles = box.root() / "node-exporter";
    fs::create_directories(textfiles);
    const fs::path metrics = textfiles / "sumvane_srv-photos.prom";
    for (const std::string unit : {"check", "slice"}) {
        SCOPED_TRACE(unit);
        const std::string text =
            ReadFile(fs::path(SUMVANE_SYSTEMD_UNITS) / ("sumvane-" + unit + "@.service.in")).value_or("");
        EXPECT_NE(text.find("\nEnvironment=SUMVANE_TEXTFILE_FOLDER=/var/lib/prometheus/node-exporter\n"),
                  std::string::npos);
        const std::size_t start = text.find("\nExecStart=");
        ASSERT_NE(start, std::string::npos);
        std::string line = text.substr(start + 11, text.find('\n', start + 1) - start - 11);
        // What systemd makes of the line for the instance, with the sandbox's folders.
        for (const auto& [from, to] :
             std::vector<std::pair<std::string, std::string>>{{"$$", "$"},
                                                              {"%i", "srv-photos"},
                                                              {"%f", photos.string()},
                                                              {"@SUMVANE_PROGRAM@", ProgramPath().string()},
                                                              {"${SUMVANE_SLICE_TIME}", "4h"},
                                                              {"/var/log/sumvane", (box.root() / "logs").string()}}) {
            for (std::size_t at = 0; (at = line.find(from, at)) != std::string::npos; at += to.size()) {
                line.replace(at, from.size(), to);
            }
        }
        for (const bool exporter : {true, false}) {
            SCOPED_TRACE(exporter ? "node_exporter's folder" : "no such folder");
            fs::remove(metrics);
            RunOptions options;
            options.program = "/bin/sh";
            options.env = {{"SUMVANE_TEXTFILE_FOLDER", (exporter ? textfiles : box.root() / "none").string()}};
            const RunResult r = box.Run({"-c", line}, options);
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(fs::exists(metrics), exporter);
            EXPECT_FALSE(fs::exists(box.root() / "none"));
            if (!exporter) continue;
            const Samples samples = SamplesOf(ReadFile(metrics).value_or(""), LabelOf(photos.string()));
            EXPECT_EQ(samples.count("sumvane_last_run_success") ? samples.at("sumvane_last_run_success") : "", "1");
            EXPECT_EQ(samples.count("sumvane_slice_entries_checked"), unit == "slice" ? 1u : 0u);
        }
    }
}

// A check that heals from a copy (-b) counts its repairs: a damaged file
// the copy holds good is repaired (still a problem of the run: the damage
// was there), a missing one the copy lacks too is not.
TEST(Reports, TheRepairsFromACopyAreCounted) {
    Sandbox box;
    const fs::path root = box.root() / "data", copy = box.root() / "copy";
    MakeTree(root, {{"a.txt", "contents of a", ""}, {"b.txt", "contents of b", ""}});
    ExpectRun(box.Run({"-f" + Native(root), "-c"}), 0);
    fs::create_directories(copy);
    fs::copy_file(root / "a.txt", copy / "a.txt");
    const auto date = fs::last_write_time(root / "a.txt");
    WriteFile(root / "a.txt", "contents of A");
    fs::last_write_time(root / "a.txt", date);
    fs::remove(root / "b.txt");
    const fs::path metrics = box.root() / "m.prom", report = box.root() / "r.json";
    const RunResult r = box.Run({"-f" + Native(root), "-v", "-b" + Native(copy), "-m" + Native(metrics),
                                 "-j" + Native(report), "-o" + Native(box.root() / "logs")});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const Samples samples = SamplesOf(ReadFile(metrics).value_or(""), LabelOf(Native(root)));
    for (const auto& [name, value] : Samples{{"sumvane_repaired_files", "1"},
                                             {"sumvane_unrepaired_files", "1"},
                                             {"sumvane_problems{kind=\"damaged\"}", "1"},
                                             {"sumvane_problems{kind=\"missing\"}", "1"}}) {
        EXPECT_EQ(samples.count(name) ? samples.at(name) : "<none>", value) << name;
    }
    const std::vector<nlohmann::json> objects = ObjectsOf(ReadFile(report).value_or(""));
    ASSERT_FALSE(objects.empty());
    bool repaired = false;
    for (const nlohmann::json& object : objects) {
        if (object["kind"] == "repaired") {
            repaired = true;
            EXPECT_EQ(object["path"], Native(root / "a.txt"));
            EXPECT_EQ(object["from"], Native(copy / "a.txt"));
        }
    }
    EXPECT_TRUE(repaired) << ReadFile(report).value_or("");
    EXPECT_EQ(objects.back()["repairs"]["repaired"], 1);
    EXPECT_EQ(objects.back()["repairs"]["not_repaired"], 1);
}

}  // namespace
