// Throughput of the conversion on generated sources, against a baseline that
// does only the unavoidable work on the same file: read it whole into memory,
// then write a file of the target's size whole and flush it to disk (the
// conversion flushes its target too). After the timings it prints the ratio
// conversion / baseline, how time grows with lines and with line length, the
// in-memory conversion's throughput, and the peak memory of convert-batch
// converting 1 000 000 and 10 000 000 lines.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "conversion.h"
#include "convert_file.h"
#include "file_ops.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using convert::RunOutcome;

class SilentReport : public convert::RunReport {
public:
    void message(const std::string&) override {}
};

/// Converts the folder's SPE2019.CSV.
RunOutcome convert_source(const fs::path& folder) {
    SilentReport report;
    return convert::convert_file({folder, "SPE2019.CSV", "SPE2019.CSV"}, {}, report).outcome;
}

const fs::path& work_folder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "convert-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        return fs::path(pattern);
    }();
    return folder;
}

/// A folder holding SPE2019.CSV with `lines` data lines under the full
/// header. `scale` > 1 adds an unread REMARK column after MODEL that makes
/// each line about `scale` times as long.
fs::path source_folder(long lines, long scale) {
    static std::map<std::pair<long, long>, fs::path> made;
    auto& folder = made[{lines, scale}];
    if (!folder.empty()) return folder;
    folder = work_folder() / (std::to_string(lines) + "x" + std::to_string(scale));
    fs::create_directories(folder);
    std::ofstream out(folder / "SPE2019.CSV", std::ios::binary);
    const char* makes[] = {"Alder", "Brant", "Corvale", "Dunmore", "Elwood Motor Co"};
    const char* models[] = {"Ridgeway LX", "Coupe 2.0", "Tessa Long Range", "Haulmaster 2500",
                            "Trailhead"};
    const char* bodies[] = {"4DS", "2DC", "5DH", "4DP", "5DW"};
    const std::string remark(static_cast<std::size_t>((scale - 1) * 78), 'r');
    out << "MAKE,MODEL," << (scale > 1 ? "REMARK," : "")
        << "A1,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,TWF,TWR,CW,WDIST,MYR\r\n";
    unsigned seed = 7;
    for (long i = 0; i < lines; ++i) {
        seed = seed * 1103515245u + 12345u;
        const unsigned r = seed >> 8;
        out << makes[r % 5] << ',' << models[(r / 5) % 5] << ',';
        if (scale > 1) out << remark << ',';
        out << bodies[(r / 25) % 5] << ",FWD,GAS," << 2 + r % 6 << ",A" << 1 + r % 9 << ','
            << 14 + r % 8 << ',' << 1 + r % 3 << ',' << 400 + r % 200 << ',' << 170 + r % 30 << ','
            << 130 + r % 70 << ',' << 250 + r % 120 << ',' << 150 + r % 25 << ',' << 150 + r % 25
            << ',' << 1000 + r % 2000 << ',' << 50 + r % 12 << '/' << 38 + r % 12 << ',' << 19
            << "\r\n";
    }
    return folder;
}

std::uintmax_t target_size(const fs::path& folder) {
    if (!fs::exists(folder / "SP2019.TXT")) {
        convert_source(folder);
    }
    return fs::file_size(folder / "SP2019.TXT");
}

void BM_Convert(benchmark::State& state) {
    const fs::path folder = source_folder(state.range(0), state.range(1));
    for (auto _ : state) {
        if (convert_source(folder) != RunOutcome::converted) {
            state.SkipWithError("conversion failed");
            break;
        }
    }
    const auto bytes = static_cast<double>(fs::file_size(folder / "SPE2019.CSV"));
    state.counters["bytes/s"] =
        benchmark::Counter(bytes, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

/// The source's bytes, read whole into fresh memory.
std::size_t read_whole(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const auto size = static_cast<std::size_t>(fs::file_size(path));
    const auto bytes = std::make_unique_for_overwrite<char[]>(size);
    std::size_t got = 0;
    for (ssize_t n; got < size && (n = ::read(fd, bytes.get() + got, size - got)) > 0;) {
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    benchmark::DoNotOptimize(bytes.get());
    return got;
}

void BM_Baseline(benchmark::State& state) {
    const fs::path folder = source_folder(state.range(0), state.range(1));
    const std::string output(target_size(folder), 'x');
    const fs::path written = folder / "baseline.out";
    for (auto _ : state) {
        if (read_whole(folder / "SPE2019.CSV") != fs::file_size(folder / "SPE2019.CSV")) {
            state.SkipWithError("baseline read failed");
        }
        const int fd = ::open(written.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 ||
            ::write(fd, output.data(), output.size()) != static_cast<ssize_t>(output.size()) ||
            ::fsync(fd) != 0) {
            state.SkipWithError("baseline write failed");
        }
        if (fd >= 0) ::close(fd);
    }
    const auto bytes = static_cast<double>(fs::file_size(folder / "SPE2019.CSV"));
    state.counters["bytes/s"] =
        benchmark::Counter(bytes, benchmark::Counter::kIsIterationInvariantRate);
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
    const fs::path folder = source_folder(state.range(0), state.range(1));
    std::ifstream in(folder / "SPE2019.CSV", std::ios::binary);
    const std::string source{std::istreambuf_iterator<char>(in), {}};
    for (auto _ : state) {
        convert::MemorySource bytes(source);
        convert::SourceLines lines(bytes);
        CountingSink sink;
        convert::TargetBuffer target(sink);
        if (convert::convert_lines(lines, target, [](const std::string&) {}) !=
            convert::LinesResult::converted) {
            state.SkipWithError("conversion failed");
            break;
        }
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.counters["bytes/s"] = benchmark::Counter(static_cast<double>(source.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({1'000, 1})->Args({100'000, 1})->Args({1'000'000, 1})->Args({100'000, 10});
    // The disk's timings vary from run to run: compare medians.
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0)->Repetitions(3);
    b->ReportAggregatesOnly(true);
}
BENCHMARK(BM_Convert)->Apply(sizes);
BENCHMARK(BM_Baseline)->Apply(sizes);
BENCHMARK(BM_ConvertInMemory)->Apply(sizes);

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

/// Peak resident memory, in bytes, of convert-batch converting `folder`. A
/// child's peak counts its parent's peak from before the exec, so this must
/// run before any benchmark has made this process large.
long peak_memory_of_batch(const fs::path& folder) {
    const std::string tool = CONVERT_BATCH_PATH;
    const std::string folder_arg = folder.string();
    std::vector<char*> argv = {const_cast<char*>(tool.c_str()), const_cast<char*>("--folder"),
                               const_cast<char*>(folder_arg.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return usage.ru_maxrss * 1024L;
}

std::string measure_peak_memory() {
    std::string report = "peak memory of convert-batch (target: at most 32 MiB)\n";
    for (const long lines : {1'000'000L, 10'000'000L}) {
        const fs::path folder = source_folder(lines, 1);
        const long peak = peak_memory_of_batch(folder);
        char line[256];
        std::snprintf(line, sizeof line,
                      "  %8ld lines (source %.0f MiB, target %.0f MiB): %.1f MiB: %s\n", lines,
                      static_cast<double>(fs::file_size(folder / "SPE2019.CSV")) / 1048576.0,
                      static_cast<double>(target_size(folder)) / 1048576.0, peak / 1048576.0,
                      peak > 0 && peak <= 32L * 1024 * 1024 ? "within" : "OVER");
        report += line;
        if (lines > 1'000'000L) fs::remove_all(folder);  // a gigabyte and more
    }
    return report;
}

void print_summary(const std::map<std::string, double>& ms, const std::string& memory) {
    auto time = [&](const char* what, long lines, long scale) {
        const auto found = ms.find(std::string(what) + "/" + std::to_string(lines) + "/" +
                                   std::to_string(scale) + "/min_time:1.000/repeats:3/real_time");
        return found == ms.end() ? -1.0 : found->second;
    };
    std::printf("\nconversion / baseline (target: at most 1.3 for 1 000 000 lines)\n");
    for (const auto& [lines, scale] :
         {std::pair{1'000L, 1L}, {100'000L, 1L}, {1'000'000L, 1L}, {100'000L, 10L}}) {
        const double c = time("BM_Convert", lines, scale), b = time("BM_Baseline", lines, scale);
        if (c > 0 && b > 0) {
            std::printf("  %8ld lines, line length x%-2ld  %9.2f ms / %9.2f ms = %.2f\n", lines,
                        scale, c, b, c / b);
        }
    }
    std::printf("growth from 100 000 lines (target: at most 11 for 10 times the input)\n");
    for (const char* what : {"BM_Convert", "BM_Baseline", "BM_ConvertInMemory"}) {
        const double base = time(what, 100'000, 1);
        if (base <= 0) continue;
        std::printf("  %-19s 10x the lines: %5.2f   10x the line length: %5.2f\n", what,
                    time(what, 1'000'000, 1) / base, time(what, 100'000, 10) / base);
    }
    const double in_memory = time("BM_ConvertInMemory", 1'000'000, 1);
    if (in_memory > 0) {
        const auto bytes = fs::file_size(source_folder(1'000'000, 1) / "SPE2019.CSV");
        std::printf("in-memory conversion of 1 000 000 lines: %.0f MB/s\n",
                    static_cast<double>(bytes) / 1e6 / (in_memory / 1e3));
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
    const std::string memory = measure_peak_memory();
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter.ms, memory);
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(work_folder(), ec);
    return 0;
}
