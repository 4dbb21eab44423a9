#include "run/convert_file.h"

#include <memory>
#include <new>
#include <optional>

#include "containers/xml_reader.h"
#include "containers/zip_archive.h"
#include "records/row_rules.h"
#include "run/source_names.h"
#include "sources/csv_rows.h"
#include "workbooks/workbook_rows.h"

namespace convert {

namespace {

/// A run asked to stop.
struct Stopped {};

void stop_if_asked(const RunOptions& options) {
    if (options.stop != nullptr && options.stop->load()) throw Stopped{};
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
        // Where in the file: a workbook's sheet is read from its start to
        // its end (an .xlsx's twice: once for its merged cells, once for its
        // rows), its directory and small parts before it.
        report_.progress(offset + size, total_);
    }

private:
    SourceBytes& source_;
    RunReport& report_;
    const RunOptions& options_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;  // read from the first byte on
};

/// The rows of `source`, read as its name's ending says.
std::unique_ptr<RowSource> rows_of(SourceKind kind, SourceBytes& source, std::size_t block_size) {
    switch (kind) {
        case SourceKind::xlsx:
            return xlsx_rows(source);
        case SourceKind::ods:
            return ods_rows(source);
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
            rows_of(source_kind_of(name).value_or(SourceKind::csv), counted, files.block_size());
        TargetBuffer buffer(target ? static_cast<TargetSink&>(*target) : nowhere,
                            files.block_size());
        const RowsResult converted = convert_rows(*rows, buffer, report);
        if (converted.end != RowsEnd::converted) return {RunEnd::rows_refused, converted};
        // What was read must be the file whole: not one cut short, or
        // still being written, meanwhile.
        if (counted.changed()) return {RunEnd::source_changed};
    } catch (const Stopped&) {
        return {RunEnd::stopped};
    } catch (const WorkbookError& error) {
        if (error.kind == WorkbookError::Kind::encrypted) return {RunEnd::encrypted};
        return {RunEnd::source_unreadable, {}, error.what()};
    } catch (const ZipError& error) {
        return {RunEnd::source_unreadable, {}, error.what()};
    } catch (const XmlError& error) {
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
