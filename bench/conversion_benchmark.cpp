// How fast the conversion is, and how close it comes to the disk.
//
// In memory (Google Benchmark): the conversion of a source already in memory
// into a target that is counted and dropped, at 1 000, 100 000 and
// 1 000 000 data lines, 100 000 lines ten times as long, and 1 000 000 lines
// with every field quoted, with LF line ends, with a notes column whose
// quoted cells hold line breaks, and with accented makes in UTF-8.
//
// End to end, against a streamed baseline that does only the unavoidable
// work on the same files: read the source through one reused buffer, write
// a new file of the target's size through another, flush it and its folder
// to disk. The two are alternated, seven times each, so that the disk's
// moods fall on both alike; the ratios of their medians and of their
// minimums are printed, at 100 000 and 1 000 000 lines.
//
// Last, the peak memory of convert-batch converting 1 000 000 and
// 10 000 000 lines, a row of 1 GiB and a first line of 5 000 000 fields; and
// convert-batch on 1 000 000-row .xlsx and .ods workbooks, timed against
// LibreOffice saving the same workbooks as CSV where it is installed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "records/row_rules.h"
#include "run/convert_file.h"
#include "source_generator.h"
#include "sources/csv_rows.h"
#include "workbooks/sheet_xml/sheet_xml.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace bench;

class SilentReport : public convert::RunReport {
public:
    void problem(const convert::ValueProblem&) override {}
};

/// Converts the folder's SPE2019.CSV into SP2019.TXT.
void convert_folder(const fs::path& folder) {
    SilentReport report;
    if (convert::convert_file({folder, "SPE2019.CSV"}, {}, report).end !=
        convert::RunEnd::converted) {
        throw std::runtime_error("conversion failed");
    }
}

std::uintmax_t target_size(const fs::path& folder) {
    if (!fs::exists(folder / "SP2019.TXT")) convert_folder(folder);
    return fs::file_size(folder / "SP2019.TXT");
}

/// The unavoidable work of a conversion of `folder`: its source read through
/// one reused buffer, a new file of the target's size written through
/// another, flushed to disk with its folder.
void streamed_baseline(const fs::path& folder, std::uintmax_t target_bytes) {
    constexpr std::size_t kBuffer = 1 << 20;
    static const auto in = std::make_unique<char[]>(kBuffer);
    static const auto out = std::make_unique<char[]>(kBuffer);
    const int source = ::open(source_of(folder).c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) throw std::runtime_error("baseline cannot read");
    while (::read(source, in.get(), kBuffer) > 0) benchmark::DoNotOptimize(in.get());
    ::close(source);
    const fs::path written = folder / "baseline.out";
    ::unlink(written.c_str());
    const int target = ::open(written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (target < 0) throw std::runtime_error("baseline cannot write");
    for (std::uintmax_t left = target_bytes; left > 0;) {
        const auto n = static_cast<std::size_t>(std::min<std::uintmax_t>(left, kBuffer));
        if (::write(target, out.get(), n) != static_cast<ssize_t>(n)) {
            throw std::runtime_error("baseline write failed");
        }
        left -= n;
    }
    ::fsync(target);
    ::close(target);
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::fsync(directory);
    ::close(directory);
}

/// Counts the target's bytes and drops them.
class CountingSink : public convert::TargetSink {
public:
    std::size_t bytes = 0;
    void write(std::string_view more) override { bytes += more.size(); }
    void abandon() override {}
};

/// The conversion alone, on a source already in memory: no disk involved.
void BM_ConvertInMemory(benchmark::State& state) {
    const fs::path folder =
        source_folder(state.range(0), state.range(1), static_cast<Shape>(state.range(2)));
    std::ifstream in(source_of(folder), std::ios::binary);
    const std::string source{std::istreambuf_iterator<char>(in), {}};
    for (auto _ : state) {
        convert::MemorySource bytes(source);
        convert::CsvRows rows(bytes);
        CountingSink sink;
        convert::TargetBuffer target(sink);
        SilentReport report;
        if (convert::convert_rows(rows, target, report).end != convert::RowsEnd::converted) {
            state.SkipWithError("conversion failed");
            break;
        }
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.counters["bytes/s"] = benchmark::Counter(static_cast<double>(source.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ConvertInMemory)
    ->Args({1'000, 1, kCrLf})
    ->Args({100'000, 1, kCrLf})
    ->Args({1'000'000, 1, kCrLf})
    ->Args({100'000, 10, kCrLf})
    ->Args({1'000'000, 1, kQuoted})
    ->Args({1'000'000, 1, kLf})
    ->Args({1'000'000, 1, kNotes})
    ->Args({1'000'000, 1, kUtf8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

/// Keeps each benchmark's median real time per iteration, in milliseconds.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                ms[run.run_name.str()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

double milliseconds_of(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct Alternated {
    double conversion_median, conversion_min, baseline_median, baseline_min;
};

/// The conversion and the baseline of `folder`, alternated `rounds` times.
Alternated alternate(const fs::path& folder, int rounds) {
    const std::uintmax_t target_bytes = target_size(folder);
    std::vector<double> conversion, baseline;
    for (int round = 0; round < rounds; ++round) {
        conversion.push_back(milliseconds_of([&] { convert_folder(folder); }));
        baseline.push_back(milliseconds_of([&] { streamed_baseline(folder, target_bytes); }));
    }
    auto median = [](std::vector<double> times) {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    return {median(conversion), *std::min_element(conversion.begin(), conversion.end()),
            median(baseline), *std::min_element(baseline.begin(), baseline.end())};
}

/// How a program ran: its time, its peak resident memory in bytes, its
/// exit status (-1 when it could not be run, or was killed).
struct Ran {
    double seconds;
    long peak;
    int status;
    double cpu = 0;  // user and system seconds
};

/// Runs `argv` (looked up on the PATH), its output dropped, and waits for
/// it. A child's peak counts its parent's peak from before the exec, so this
/// must run before any benchmark has made this process large.
Ran run_program(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {0, -1, -1};
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return {0, -1, -1};
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            usage.ru_maxrss * 1024L, WEXITSTATUS(status),
            seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

/// Peak resident memory, in bytes, of convert-batch converting `folder`
/// (-1 when it fails), or refusing it when `refused`.
long peak_memory_of_batch(const fs::path& folder, bool refused = false) {
    const Ran ran = run_program({CONVERT_BATCH_PATH, "--folder", folder.string()});
    return (ran.status == 0) != refused ? ran.peak : -1;
}

/// A workbook of `lines` rows, made in a child process so that this one
/// stays small.
fs::path made_workbook(long lines, Workbook kind) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        workbook_folder(lines, kind);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return workbook_folder(lines, kind);
}

/// The time of `argv` as a line's figures: wall and CPU seconds, peak memory.
std::string figures(const char* who, const Ran& ran) {
    char line[256];
    std::snprintf(line, sizeof line, "; %s %.2f s (CPU %.2f s), %.1f MiB%s", who, ran.seconds,
                  ran.cpu, ran.peak / 1048576.0, ran.status == 0 ? "" : " (FAILED)");
    return line;
}

/// convert-batch on 1 000 000-row workbooks (the generated .xlsx and .ods,
/// and LibreOffice's own .xlsx of the same rows) against LibreOffice saving
/// them as CSV, where it is installed; beside it, where they are there, an
/// earlier convert-batch (CONVERT_BATCH_BEFORE) and the quick-xml reader of
/// ../shared/peers/qx, built (or CONVERT_QX).
std::string measure_workbooks() {
    std::string report =
        "workbooks of 1 000 000 rows, convert-batch against LibreOffice's CSV export "
        "(target: at least 10 times as fast; memory at most 64 MiB and the shared strings)\n";
    const char* before = std::getenv("CONVERT_BATCH_BEFORE");
    // Where it was built elsewhere (shared/ may be read-only): CONVERT_QX.
    const char* built_peer = std::getenv("CONVERT_QX");
    const fs::path peer = built_peer != nullptr ? fs::path(built_peer)
                                                : fs::path(CONVERT_SOURCE_DIR) / ".." / "shared" /
                                                      "peers" / "qx" / "target" / "release" / "qx";
    const fs::path profile = work_folder() / "office-profile";
    const std::string office_profile = "-env:UserInstallation=file://" + profile.string();
    const fs::path exported = work_folder() / "exported";
    fs::create_directories(exported);
    // LibreOffice's first start makes its profile: not timed.
    std::ofstream(exported / "warm.csv") << "a,b\n1,2\n";
    const bool office =
        run_program({"soffice", office_profile, "--headless", "--convert-to", "ods", "--outdir",
                     exported.string(), (exported / "warm.csv").string()})
            .status == 0;
    // LibreOffice's own .xlsx of the benchmark's source: shared strings,
    // and r, s and t on every cell.
    const fs::path office_book = work_folder() / "office-xlsx";
    if (office && !fs::exists(office_book / "SPE2019.xlsx")) {
        fs::create_directories(office_book);
        run_program({"soffice", office_profile, "--headless", "--infilter=CSV:44,34,76,1",
                     "--convert-to", "xlsx", "--outdir", office_book.string(),
                     source_of(source_folder(1'000'000)).string()});
    }
    const std::pair<const char*, fs::path> books[] = {
        {"generated .xlsx", made_workbook(1'000'000, Workbook::xlsx) / "SPE2019.xlsx"},
        {"generated .ods", made_workbook(1'000'000, Workbook::ods) / "SPE2019.ods"},
        {"LibreOffice's .xlsx", office_book / "SPE2019.xlsx"},
    };
    for (const auto& [what, file] : books) {
        if (!fs::exists(file)) continue;
        const fs::path folder = file.parent_path();
        const Ran convert = run_program({CONVERT_BATCH_PATH, "--folder", folder.string()});
        char line[512];
        std::snprintf(
            line, sizeof line, "  %s (%.0f MiB): convert-batch %.2f s (CPU %.2f s), %.1f MiB%s",
            what, static_cast<double>(fs::file_size(file)) / 1048576.0, convert.seconds,
            convert.cpu, convert.peak / 1048576.0, convert.status == 0 ? "" : " (FAILED)");
        report += line;
        if (before != nullptr) {
            report += figures("before", run_program({before, "--folder", folder.string()}));
        }
        if (fs::exists(peer)) {
            const Ran quick =
                run_program({peer.string(), file.string(), (exported / "qx.csv").string()});
            report += figures("quick-xml reader", quick) + " (" +
                      std::to_string(quick.seconds / convert.seconds).substr(0, 4) + " of ours)";
        }
        if (office) {
            const Ran saved = run_program({"soffice", office_profile, "--headless", "--convert-to",
                                           "csv", "--outdir", exported.string(), file.string()});
            std::snprintf(line, sizeof line, "; LibreOffice %.1f s%s: %.1f times as fast",
                          saved.seconds, saved.status == 0 ? "" : " (FAILED)",
                          saved.seconds / convert.seconds);
            report += line;
        } else {
            report += "; LibreOffice not installed (libreoffice-calc-nogui)";
        }
        // The share of rows read the quick way, converting in this process.
        const convert::RowsRead before_run = convert::rows_read();
        SilentReport silent;
        convert::convert_file({folder, file.filename().string()}, {}, silent);
        const convert::RowsRead after_run = convert::rows_read();
        const auto usual = static_cast<double>(after_run.usual - before_run.usual);
        const auto parsed = static_cast<double>(after_run.parsed - before_run.parsed);
        std::snprintf(line, sizeof line, "; %.4f %% of rows read the quick way",
                      100.0 * usual / std::max(1.0, usual + parsed));
        report += line;
        report += "\n";
        if (folder != office_book) fs::remove_all(folder);
    }
    return report;
}

std::string measure_peak_memory() {
    std::string report = "peak memory of convert-batch (target: at most 32 MiB)\n";
    for (const long lines : {1'000'000L, 10'000'000L}) {
        const fs::path folder = source_folder(lines);
        const long peak = peak_memory_of_batch(folder);
        char line[256];
        std::snprintf(line, sizeof line,
                      "  %8ld lines (source %.0f MiB, target %.0f MiB): %.1f MiB: %s\n", lines,
                      static_cast<double>(fs::file_size(source_of(folder))) / 1048576.0,
                      static_cast<double>(target_size(folder)) / 1048576.0, peak / 1048576.0,
                      peak > 0 && peak <= 32L * 1024 * 1024 ? "within" : "OVER");
        report += line;
        if (lines > 1'000'000L) fs::remove_all(folder);  // a gigabyte and more
    }
    // At no more than 64 MiB: a row of 1 GiB without a line end, refused, and
    // a first line of 5 000 000 fields with the columns read at its end.
    const std::string header = "MAKE,MODEL,A1,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,TWF,TWR,CW,WDIST,MYR";
    const std::tuple<const char*, fs::path, bool> hostile[] = {
        {"a row of 1 GiB", hostile_folder("long-row", header, std::string(1 << 20, 'x'), 1024, ""),
         true},
        {"a first line of 5 000 000 fields",
         hostile_folder("wide-header", std::string(5'000'000, ',') + header,
                        std::string(5'000'000, ',') + "A,B,1,2,3,4,5,6,7,8,9,1,2,3,4,5,6,7", 10,
                        "\r\n"),
         false},
    };
    for (const auto& [what, folder, refused] : hostile) {
        const long peak = peak_memory_of_batch(folder, refused);
        char line[256];
        std::snprintf(line, sizeof line, "  %s: %.1f MiB (target: at most 64 MiB): %s\n", what,
                      peak / 1048576.0, peak > 0 && peak <= 64L << 20 ? "within" : "OVER");
        report += line;
        fs::remove_all(folder);
    }
    return report;
}

void print_summary(const std::map<std::string, double>& ms, const std::string& memory) {
    auto time = [&](long lines, long scale, Shape shape) {
        const auto found =
            ms.find("BM_ConvertInMemory/" + std::to_string(lines) + "/" + std::to_string(scale) +
                    "/" + std::to_string(shape) + "/min_time:1.000/repeats:5/real_time");
        return found == ms.end() ? -1.0 : found->second;
    };
    auto rate = [&](long lines, long scale, Shape shape) {
        const auto bytes = fs::file_size(source_of(source_folder(lines, scale, shape)));
        return static_cast<double>(bytes) / 1e6 / (time(lines, scale, shape) / 1e3);
    };
    const std::pair<Shape, const char*> shapes[] = {
        {kCrLf, "(target: at least 1 200 MB/s)"},
        {kLf, "with LF line ends"},
        {kQuoted, "with every field quoted"},
        {kNotes, "with quoted line breaks in a NOTES column"},
        {kUtf8, "with makes in UTF-8, accented"},
    };
    std::printf("\n");
    for (const auto& [shape, what] : shapes) {
        if (time(1'000'000, 1, shape) > 0) {
            std::printf("in memory, 1 000 000 lines %s: %.0f MB/s\n", what,
                        rate(1'000'000, 1, shape));
        }
    }
    if (time(100'000, 1, kCrLf) > 0) {
        std::printf(
            "in memory, growth from 100 000 lines (linear: 10): 10x the lines %.2f, "
            "10x the line length %.2f\n",
            time(1'000'000, 1, kCrLf) / time(100'000, 1, kCrLf),
            time(100'000, 10, kCrLf) / time(100'000, 1, kCrLf));
    }
    std::printf("\nend to end against the streamed baseline, alternated 7 times each\n");
    double median_100k = 0;
    for (const long lines : {100'000L, 1'000'000L}) {
        const Alternated a = alternate(source_folder(lines), 7);
        std::printf(
            "  %8ld lines: conversion %.1f ms (min %.1f), baseline %.1f ms (min %.1f): "
            "ratio of medians %.2f (target: at most 1.5), of minimums %.2f\n",
            lines, a.conversion_median, a.conversion_min, a.baseline_median, a.baseline_min,
            a.conversion_median / a.baseline_median, a.conversion_min / a.baseline_min);
        if (lines == 100'000L) {
            median_100k = a.conversion_median;
        } else {
            std::printf("  growth of the conversion's median for 10x the lines: %.2f\n",
                        a.conversion_median / median_100k);
        }
    }
    std::printf("%s", memory.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    // A conversion runs once per program: its large buffers are fresh pages.
    // Left alone, malloc would start reusing freed buffers of up to 32 MiB
    // between iterations, flattering the small sizes only.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const std::string memory = measure_peak_memory() + measure_workbooks();
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter.ms, memory);
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(work_folder(), ec);
    return 0;
}
