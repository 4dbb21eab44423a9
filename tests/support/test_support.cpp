#include "test_support.h"

#include "files/file_ops.h"
#include "run/messages.h"
#include "workbooks/workbook_rows.h"
#include "zip_writer.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace testing_support {

namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir() {
    static std::mt19937_64 random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "convert-test-%012llx",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        path_ = fs::temp_directory_path() / name;
        if (fs::create_directory(path_)) return;
    }
    throw std::runtime_error("cannot make a temporary folder");
}

namespace {
#ifdef _WIN32
std::vector<HANDLE> held_open;
#endif
}  // namespace

ScopedTempDir::~ScopedTempDir() {
#ifdef _WIN32
    for (HANDLE file : held_open) ::CloseHandle(file);
    held_open.clear();
#endif
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

fs::path ScopedTempDir::operator/(std::string_view name) const {
    return path_ / convert::path_of(name);
}

bool ScopedTempDir::tells_case_apart() const {
    const fs::path probe = path_ / "case-probe";
    write_file(probe, "");
    const bool apart = !fs::exists(path_ / "CASE-PROBE");
    fs::remove(probe);
    return apart;
}

std::vector<std::string> ScopedTempDir::names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
        names.push_back(convert::bytes_of(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

#ifdef _WIN32
FarEastZone::FarEastZone() {
    TIME_ZONE_INFORMATION zone{};
    active_ = ::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_UNKNOWN && zone.Bias == -14 * 60;
}
FarEastZone::~FarEastZone() = default;
#else
FarEastZone::FarEastZone() {
    ::setenv("TZ", "XST-14", 1);
    ::tzset();
    active_ = true;
}
FarEastZone::~FarEastZone() {
    ::unsetenv("TZ");
    ::tzset();
}
#endif

void set_modified(const fs::path& path, int year, int month, int day) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    fs::last_write_time(
        path, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(when)));
}

fs::path write_hidden_file(const fs::path& folder, std::string_view name) {
#ifdef _WIN32
    const fs::path path = folder / name;
    write_file(path, "hidden");
    if (!::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN)) {
        throw std::runtime_error("cannot hide " + path.string());
    }
#else
    const fs::path path = folder / ("." + std::string(name));
    write_file(path, "hidden");
#endif
    return path;
}

void make_unreadable(const fs::path& path) {
#ifdef _WIN32
    write_file(path, "held");
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot hold " + path.string());
    held_open.push_back(file);
#else
    fs::create_symlink(path.parent_path() / "nowhere", path);
#endif
}

namespace {
// The errors the system gives for a file held open or linked to nowhere, a
// folder that is not there, and a step refused.
#ifdef _WIN32
constexpr int kUnreadable = ERROR_SHARING_VIOLATION;
constexpr int kMissing = ERROR_PATH_NOT_FOUND;
constexpr int kRefused = ERROR_ACCESS_DENIED;
#else
constexpr int kUnreadable = ENOENT;
constexpr int kMissing = ENOENT;
constexpr int kRefused = EACCES;
#endif
}  // namespace

std::string unreadable_reason() {
    return convert::system_reason(kUnreadable);
}
std::string missing_reason() {
    return convert::system_reason(kMissing);
}
std::string refused_reason() {
    return convert::system_reason(kRefused);
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string crlf_lines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) text.append(line).append("\r\n");
    return text;
}

namespace {

/// Keeps a row as its CSV export's line.
struct CsvLine : convert::FieldTaker {
    std::vector<std::string> fields;
    std::string refusals;
    void start_row() override { fields.clear(), refusals.clear(); }
    void take(std::size_t first, std::span<const convert::PaddedView> values) override {
        fields.resize(std::max(fields.size(), first + values.size()));
        for (std::size_t i = 0; i < values.size(); ++i) fields[first + i] = values[i].bytes();
    }
    void refuse(std::size_t, const convert::CellRefusal& refusal) override {
        static constexpr const char* kKinds[] = {"format", "error", "unsaved"};
        refusals += " {" + refusal.cell + " " + kKinds[static_cast<int>(refusal.kind)] +
                    (refusal.detail.empty() ? "" : " ") + refusal.detail + "}";
    }
    std::string line(const convert::RowShape& shape) const {
        std::string line;
        for (const std::string& field : fields) {
            if (&field != &fields.front()) line += ',';
            const bool quote = field.find_first_of(",\"\r\n") != std::string::npos;
            line += quote ? "\"" + field + "\"" : field;
        }
        if (line.size() > shape.length)
            return line + " (longer than " + std::to_string(shape.length) + ")";
        return line + std::string(shape.length - line.size(), ',') + refusals;
    }
};

}  // namespace

std::string workbook_rows_text(
    const std::function<std::unique_ptr<convert::RowSource>(convert::RandomAccessSource&)>& open,
    const std::string& file) {
    using convert::RowSource;
    try {
        convert::MemoryRandomAccess bytes(file);
        const auto rows = open(bytes);
        CsvLine taker;
        convert::RowShape shape;
        std::string out;
        for (RowSource::Read read; (read = rows->read(taker, shape)) != RowSource::Read::end;) {
            out += (out.empty() ? "" : " / ") + std::to_string(rows->number()) + ":" +
                   (read == RowSource::Read::too_long ? "too long" : taker.line(shape));
        }
        return out;
    } catch (const convert::WorkbookError& e) {
        return (e.kind == convert::WorkbookError::Kind::encrypted ? "!encrypted: " : "!") +
               std::string(e.what());
    }
}

std::pair<std::string, std::string> workbook_rows_both_ways(SheetOpener open,
                                                            const std::string& file) {
    const auto rows = [&](convert::SheetReading reading) {
        return workbook_rows_text(
            [&](convert::RandomAccessSource& bytes) { return open(bytes, nullptr, reading); },
            file);
    };
    return {rows(convert::SheetReading::usual_rows_first),
            rows(convert::SheetReading::parser_only)};
}

bool under_wine() {
#ifdef _WIN32
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

std::string workbook_of(std::string_view csv, bool ods) {
    std::string cells;
    for (std::size_t start = 0; start < csv.size();) {
        const std::size_t end = std::min(csv.find("\r\n", start), csv.size());
        cells += ods ? "<table:table-row>" : "<row>";
        for (std::size_t at = start; at <= end;) {
            const std::size_t comma = std::min(csv.find(',', at), end);
            const std::string value(csv.substr(at, comma - at));
            const bool number =
                !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
            if (ods) {
                cells += number ? "<table:table-cell office:value-type=\"float\" office:value=\"" +
                                      value + "\"/>"
                                : "<table:table-cell office:value-type=\"string\"><text:p>" +
                                      value + "</text:p></table:table-cell>";
            } else if (value.starts_with('#')) {
                cells += "<c t=\"e\"><v>" + value + "</v></c>";
            } else {
                cells += number ? "<c><v>" + value + "</v></c>"
                                : "<c t=\"inlineStr\"><is><t xml:space=\"preserve\">" + value +
                                      "</t></is></c>";
            }
            at = comma + 1;
        }
        cells += ods ? "</table:table-row>" : "</row>";
        start = end + 2;
    }
    if (ods) {
        return ods_around(
            "<office:document-content "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
            "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
            "<office:spreadsheet><table:table>" +
            cells + "</table:table></office:spreadsheet></office:body></office:document-content>");
    }
    return xlsx_around(
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheetData>" +
        cells + "</sheetData></worksheet>");
}

std::string source_with_a1(std::initializer_list<std::array<std::string_view, 3>> vehicles) {
    std::string text = std::string(kFullHeader) + "\r\n";
    for (const auto& [make, model, a1] : vehicles) {
        text.append(make).append(",").append(model).append(",").append(a1);
        text.append(",345,,7,100,99,5,480,178,145,270,150,151,1250,55,98\r\n");
    }
    return text;
}

void RecordingReport::problem(const convert::ValueProblem& problem) {
    messages.push_back(convert::joined(convert::value_message(problem), "\r\n"));
    if (on_message) on_message(messages.back());
}

Ending ending_of(const convert::RunResult& result) {
    return {result.end, result.end == convert::RunEnd::rows_refused ? result.rows.end
                                                                    : convert::RowsEnd::converted};
}

std::ostream& operator<<(std::ostream& out, const Ending& ending) {
    return out << "run " << static_cast<int>(ending.run) << ", rows "
               << static_cast<int>(ending.rows);
}

void RecordingReport::progress(std::uint64_t done, std::uint64_t) {
    read_so_far.push_back(done);
    if (on_progress) on_progress();
}

Ran run_file(const fs::path& folder, const std::string& name, const convert::RunFiles& files) {
    RecordingReport report;
    std::string shown = name;
    for (char& c : shown) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    const convert::RunResult result =
        convert::convert_file({folder, convert::path_of(name)}, {}, report, files);
    const convert::MessageLines closing = convert::closing_message(result, shown);
    if (!closing.empty()) report.messages.push_back(convert::joined(closing, "\r\n"));
    const std::string_view reason = convert::reason_after(result);
    if (!reason.empty()) report.messages.emplace_back(reason);
    return {ending_of(result), report.messages};
}

std::size_t open_descriptors() {
#ifdef _WIN32
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    return handles;
#else
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
#endif
}

convert::FileStep save_file(const fs::path& path, std::string_view bytes,
                            convert::AtomicFile::Options options) {
    convert::AtomicFile file(path, std::move(options));
    file.write(bytes);
    return file.commit().failed;
}

namespace {

/// Hands out a real source's bytes at most `block` at a time, waiting before
/// each read or failing after some.
class ShapedSource : public convert::SourceBytes {
public:
    ShapedSource(std::unique_ptr<convert::SourceBytes> file, const TestFiles& shape,
                 const fs::path& path)
        : file_(std::move(file)),
          block_(shape.block),
          good_reads_(shape.good_reads),
          wait_ms_(shape.wait_ms),
          first_wait_ms_(shape.first_wait_ms),
          after_first_read_(shape.after_first_read),
          path_(path) {}
    std::size_t read(char* into, std::size_t size) override {
        if (good_reads_-- == 0) throw convert::ReadError("the device went away");
        const int wait = std::exchange(first_wait_ms_, 0) + wait_ms_;
        if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        const std::size_t n = file_->read(into, std::min(size, block_));
        if (after_first_read_) std::exchange(after_first_read_, nullptr)(path_);
        return n;
    }
    std::size_t size_hint() const override { return file_->size_hint(); }
    bool changed() const override { return file_->changed(); }
    std::uint64_t size() const override { return file_->size(); }
    void read_at(std::uint64_t offset, char* into, std::size_t size) override {
        if (good_reads_-- == 0) throw convert::ReadError("the device went away");
        file_->read_at(offset, into, size);
        if (after_first_read_) std::exchange(after_first_read_, nullptr)(path_);
    }

private:
    std::unique_ptr<convert::SourceBytes> file_;
    std::size_t block_;
    int good_reads_;
    int wait_ms_;
    int first_wait_ms_;
    std::function<void(const fs::path&)> after_first_read_;
    fs::path path_;
};

}  // namespace

convert::OpenedSource TestFiles::open(const fs::path& path) const {
    convert::OpenedSource opened = open_instead ? open_instead(path) : convert::open_source(path);
    if (opened.value) {
        opened.value = std::make_unique<ShapedSource>(std::move(opened.value), *this, path);
    }
    return opened;
}

}  // namespace testing_support
