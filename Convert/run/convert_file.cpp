#include "run/convert_file.h"

#include <new>
#include <optional>

#include "records/row_records.h"
#include "run/source_names.h"

namespace convert {

namespace {

/// A run asked to stop.
struct Stopped {};

void stop_if_asked(const RunOptions& options) {
    if (options.stop != nullptr && options.stop->load()) throw Stopped{};
}

/// Passes each block read on, and tells the report how far reading has come;
/// a run asked to stop reads no further.
class ProgressSource : public ByteSource {
public:
    ProgressSource(ByteSource& source, RunReport& report, const RunOptions& options)
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

private:
    ByteSource& source_;
    RunReport& report_;
    const RunOptions& options_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
};

}  // namespace

const RunFiles& real_files() {
    static const RunFiles files;
    return files;
}

RunResult convert_file(const SourceFile& source, const RunOptions& options, RunReport& report,
                       const RunFiles& files) {
    const std::string& name = source.shown_name;
    if (!is_source_name(source.name)) {
        return {RunOutcome::invalid_name, "Invalid file name: " + name};
    }
    const std::string not_converted = ".  Data not converted.";
    std::optional<AtomicFile> target;
    std::string failure;
    try {
        const OpenedSource opened = files.open(source.folder / path_of(source.name));
        if (opened.failed == FileStep::find) {
            return {RunOutcome::source_missing, "Could not find " + name + not_converted};
        }
        if (!opened.ok()) {
            return {RunOutcome::source_unreadable, "Could not read " + name + not_converted,
                    opened.reason};
        }
        NullSink nowhere;
        if (options.write_target) {
            target.emplace(source.folder / path_of(target_name_of(source.name)),
                           files.save_options());
        }
        ProgressSource counted(*opened.value, report, options);
        SourceRows rows(counted, files.block_size());
        TargetBuffer buffer(target ? static_cast<TargetSink&>(*target) : nowhere,
                            files.block_size());
        const RowsOutcome converted = convert_rows(rows, buffer, report);
        const std::string row = std::to_string(converted.row);
        switch (converted.result) {
            case RowsResult::values_rejected:
                return {RunOutcome::values_rejected, "Data not converted."};
            case RowsResult::no_known_column:
                return {RunOutcome::no_known_column,
                        "No known column in the first line of " + name + not_converted};
            case RowsResult::missing_columns: {
                std::string names;
                for (const std::string_view missing : converted.missing) {
                    names.append(names.empty() ? "" : ", ").append(missing);
                }
                return {RunOutcome::missing_columns,
                        "No column " + names + " in the first line of " + name + not_converted};
            }
            case RowsResult::unclosed_quote:
                return {RunOutcome::unclosed_quote, "A quote in row " + row + " of " + name +
                                                        " is never closed" + not_converted};
            case RowsResult::row_too_long:
                return {RunOutcome::row_too_long,
                        "Row " + row + " of " + name + " is longer than " +
                            std::to_string(kLongestRow >> 20) + " MB" + not_converted};
            case RowsResult::rows_after_short_row:
                return {RunOutcome::rows_after_short_row,
                        "Row " + row + " of " + name +
                            " has fewer than " + std::to_string(kShortestRow) +
                            " characters, and rows follow it" + not_converted};
            case RowsResult::no_rows:
                return {RunOutcome::no_rows, "No rows of data in " + name + not_converted};
            case RowsResult::converted:
                break;
        }
        // What was read must be the file whole: not one cut short, or
        // still being written, meanwhile.
        if (counted.changed()) {
            return {RunOutcome::source_changed, name + " changed while it was read" + not_converted};
        }
    } catch (const Stopped&) {
        return {RunOutcome::stopped, ""};
    } catch (const ReadError& error) {
        return {RunOutcome::source_unreadable, "Could not read " + name + not_converted,
                error.what()};
    } catch (const std::bad_alloc&) {
        failure = "not enough memory";
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unexpected error";
    }
    if (!failure.empty()) {
        return {RunOutcome::failed,
                "Could not convert " + name + " (" + failure + ")" + not_converted};
    }

    if (!target) return {RunOutcome::checked, ""};
    // Once the new target takes the old one's place, the run finishes.
    if (options.stop != nullptr && options.stop->load()) return {RunOutcome::stopped, ""};
    const FileResult<Saved> saved = target->commit();
    switch (saved.failed) {
        case FileStep::replace:
            return {RunOutcome::replace_failed, "Could not Delete existing file.  Data not saved.",
                    saved.reason};
        case FileStep::none:
            break;
        default:
            return {RunOutcome::write_failed, "Could not Save existing file.  Data not saved.",
                    saved.reason};
    }
    if (!saved.value.access_not_kept.empty()) {
        // Replaced, as a share that grants Change but not Full Control allows;
        // that the old file's access list is not kept must not go unsaid.
        return {RunOutcome::converted, "Done.\r\nThe access rights of " +
                                           target_name_of(source.name) + " could not be kept (" +
                                           saved.value.access_not_kept +
                                           "); it now has its folder's."};
    }
    return {RunOutcome::converted, "Done."};
}

}  // namespace convert
