#include "run/convert_file.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "records/row_rules.h"
#include "run/source_names.h"
#include "sources/csv_rows.h"
#include "workbooks/workbook_rows.h"

namespace convert {

namespace {

void stop_if_asked(const RunOptions& options) {
    if (options.stop != nullptr && options.stop->load()) throw RunStopped{};
}

/// Passes each read on, and tells the report how far reading has come; a
/// run asked to stop reads no further. A CSV file is read from its first
/// byte on, a workbook at the offsets of its parts.
class ProgressSource : public SourceBytes {
public:
    ProgressSource(SourceBytes& source, RunReport& report, const RunOptions& options)
        : source_(source), report_(report), options_(options), total_(source.size_hint()) {}

    std::size_t read(char* into, std::size_t size) override {
        stop_if_asked(options_);
        const std::size_t n = source_.read(into, size);
        done_ += n;
        report_.progress(done_, total_);
        return n;
    }
    std::size_t size_hint() const override { return source_.size_hint(); }
    bool changed() const override { return source_.changed(); }

    std::uint64_t size() const override { return source_.size(); }
    void read_at(std::uint64_t offset, char* into, std::size_t size) override {
        stop_if_asked(options_);
        source_.read_at(offset, into, size);
        // A workbook's parts are read once each, wherever they lie: the
        // bytes read so far, as far as the file's size, climb once to its end.
        done_ += size;
        report_.progress(std::min<std::uint64_t>(done_, total_), total_);
    }

private:
    SourceBytes& source_;
    RunReport& report_;
    const RunOptions& options_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;  // read so far
};

/// Passes the target's blocks on; a run asked to stop writes no further,
/// however little it reads.
class StoppingSink : public TargetSink {
public:
    StoppingSink(TargetSink& sink, const RunOptions& options) : sink_(sink), options_(options) {}
    void write(std::string_view bytes) override {
        stop_if_asked(options_);
        sink_.write(bytes);
    }
    void abandon() override { sink_.abandon(); }

private:
    TargetSink& sink_;
    const RunOptions& options_;
};

/// The rows of `source`, read as its name's ending says.
std::unique_ptr<RowSource> rows_of(SourceKind kind, SourceBytes& source, std::size_t block_size,
                                   const std::atomic<bool>* stop) {
    switch (kind) {
        case SourceKind::xlsx:
            return xlsx_rows(source, stop);
        case SourceKind::ods:
            return ods_rows(source, stop);
        case SourceKind::csv:
            break;
    }
    return std::make_unique<CsvRows>(source, block_size);
}

}  // namespace

const RunFiles& real_files() {
    static const RunFiles files;
    return files;
}

RunResult convert_file(const SourceFile& source, const RunOptions& options, RunReport& report,
                       const RunFiles& files) {
    const std::string name = bytes_of(source.name);
    if (!is_source_name(name)) return {RunEnd::invalid_name};
    std::optional<AtomicFile> target;
    std::string failure;
    try {
        const OpenedSource opened = files.open(source.folder / source.name);
        if (opened.failed == FileStep::find) return {RunEnd::source_missing};
        if (!opened.ok()) return {RunEnd::source_unreadable, {}, opened.reason};
        NullSink nowhere;
        if (options.write_target) {
            target.emplace(source.folder / path_of(target_name_of(name)), files.save_options());
        }
        ProgressSource counted(*opened.value, report, options);
        const std::unique_ptr<RowSource> rows =
            rows_of(source_kind_of(name).value_or(SourceKind::csv), counted, files.block_size(),
                    options.stop);
        StoppingSink sink(target ? static_cast<TargetSink&>(*target) : nowhere, options);
        TargetBuffer buffer(sink, files.block_size());
        const RowsResult converted = convert_rows(*rows, buffer, report);
        if (converted.end != RowsEnd::converted) return {RunEnd::rows_refused, converted};
        // What was read must be the file whole: not one cut short, or
        // still being written, meanwhile.
        if (counted.changed()) return {RunEnd::source_changed};
    } catch (const RunStopped&) {
        return {RunEnd::stopped};
    } catch (const WorkbookError& error) {
        if (error.kind == WorkbookError::Kind::encrypted) return {RunEnd::encrypted};
        if (error.kind == WorkbookError::Kind::default_password) return {RunEnd::default_password};
        return {RunEnd::source_unreadable, {}, error.what()};
    } catch (const ReadError& error) {
        return {RunEnd::source_unreadable, {}, error.what()};
    } catch (const std::bad_alloc&) {
        failure = "not enough memory";
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unexpected error";
    }
    if (!failure.empty()) return {RunEnd::failed, {}, failure};

    if (!target) return {RunEnd::checked};
    // Once the new target takes the old one's place, the run finishes.
    if (options.stop != nullptr && options.stop->load()) return {RunEnd::stopped};
    const FileResult<Saved> saved = target->commit();
    switch (saved.failed) {
        case FileStep::none:
            return {RunEnd::converted, {}, {}, saved.value.access_not_kept};
        case FileStep::replace:
            return {RunEnd::replace_failed, {}, saved.reason};
        default:
            return {RunEnd::write_failed, {}, saved.reason};
    }
}

}  // namespace convert
