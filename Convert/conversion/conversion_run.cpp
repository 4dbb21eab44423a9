#include "conversion_run.h"

#include <array>
#include <new>
#include <optional>
#include <utility>

#include "column_table.h"
#include "field_procedures.h"
#include "file_ops.h"
#include "record_format.h"
#include "text.h"

namespace convert {

namespace {

// The columns a run reads: MAKE and MODEL, then the data block in order.
constexpr std::size_t kMake = 0;
constexpr std::size_t kModel = 1;
constexpr std::size_t kFirstField = 2;
constexpr std::size_t kColumnCount = kFirstField + kDataBlock.size();

constexpr std::array<std::string_view, kColumnCount> run_columns() {
    std::array<std::string_view, kColumnCount> names{"MAKE", "MODEL"};
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) names[kFirstField + i] = kDataBlock[i].name;
    return names;
}
constexpr std::array<std::string_view, kColumnCount> kRunColumns = run_columns();

/// A line shorter than this (its CR not counted) ends the data.
constexpr std::size_t kShortestLine = 10;

class LineReader {
public:
    explicit LineReader(std::string_view header) : table_(header, kRunColumns) {
        for (std::size_t i = 0; i < kDataBlock.size(); ++i)
            present_[i] = table_.has(kFirstField + i);
    }

    bool knows_any_column() const { return table_.has_any(); }

    void read(std::string_view line) { table_.read(line, columns_); }

    std::string_view make() const { return columns_[kMake]; }
    std::string_view model() const { return columns_[kModel]; }
    DataBlockValues fields() const {
        return std::span<const std::string_view, kColumnCount>(columns_)
            .subspan<kFirstField, kDataBlock.size()>();
    }
    const DataBlockColumns& present() const { return present_; }

private:
    ColumnTable table_;
    // MAKE and MODEL stay "" when the header lacks them; so do fields, which
    // are then never read.
    std::array<std::string_view, kColumnCount> columns_{};
    DataBlockColumns present_{};
};

/// Shows the over-length message of every value of `line` that does not
/// fit; true when there was any.
bool show_over_length(const LineReader& line, const MessageFn& show_message) {
    bool any = false;
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        const DataField& field = kDataBlock[i];
        const std::string_view value = line.fields()[i];
        if (!line.present()[i] || value.size() <= static_cast<std::size_t>(field.width)) continue;
        any = true;
        show_message(
            over_length_message(line.make(), line.model(), field.name, value, field.width));
    }
    return any;
}

/// Passes the target's bytes to the new target file, or nowhere when the run
/// only checks.
class FileSink : public TargetSink {
public:
    explicit FileSink(AtomicFile* file) : file_(file) {}
    void write(std::string_view bytes) override {
        if (file_ != nullptr) file_->append(bytes);
    }
    void abandon() override {
        if (file_ != nullptr) file_->abandon();
    }

private:
    AtomicFile* file_;
};

}  // namespace

std::string source_name_of(std::string_view entry) {
    const std::string upper_entry = upper(entry);
    return std::string(trim_spaces(trim_spaces(upper_entry).substr(0, 11)));
}

std::string target_name_of(std::string_view source_name) {
    return "SP" + std::string(source_name.substr(std::min<std::size_t>(3, source_name.size()), 4)) +
           ".TXT";
}

LinesResult convert_lines(SourceLines& lines, TargetBuffer& output,
                          const MessageFn& show_message) {
    // The header line is the first line; a header shorter than a data line
    // may be means there is no data. The first short line ends the data.
    // Lines that would begin inside the end sentinel are all short, so the
    // sentinel never needs to be built.
    bool valid = true;
    std::string_view line;
    if (lines.next(line) && line.size() >= kShortestLine) {
        LineReader reader(line);
        if (!reader.knows_any_column()) {
            // Not a source file (a UTF-16 file's names hold zero bytes, say):
            // every record would be empty.
            output.abandon();
            return LinesResult::no_known_column;
        }
        while (lines.next(line) && line.size() >= kShortestLine) {
            reader.read(line);
            if (show_over_length(reader, show_message) && valid) {
                // The target will never be written: stop building it.
                valid = false;
                output.abandon();
            }
            if (valid) {
                append_record(output, reader.make(), reader.model(), reader.fields(),
                              reader.present());
            }
        }
    }
    if (!valid) return LinesResult::values_too_long;
    output.append(kFileEnd);
    output.flush();
    return LinesResult::converted;
}

LinesResult convert_content(std::string_view content, std::string& output,
                            const MessageFn& show_message, std::size_t block_size) {
    MemorySource source(content, block_size);
    SourceLines lines(source, block_size);
    StringSink sink;
    TargetBuffer buffer(sink, block_size);
    const LinesResult result = convert_lines(lines, buffer, show_message);
    output = std::move(sink.bytes);
    return result;
}

ConversionRun::ConversionRun(RunView& view, std::filesystem::path folder)
    : view_(view), folder_(std::move(folder)) {}

RunOutcome ConversionRun::run(const Options& options) {
    if (busy_) return RunOutcome::already_running;
    // The entry to mark is the one the run began with, whatever is selected
    // by the time it ends.
    const int index = view_.selected_index();
    const std::string source_name = source_name_of(view_.selected_text());
    if (!source_name.empty() && source_name.front() == '*') {
        view_.show_message(source_name + " is already converted");
        return RunOutcome::already_converted;
    }
    if (source_name.substr(0, 3) != "SPE") {
        view_.show_message("Invalid file name: " + source_name);
        return RunOutcome::invalid_name;
    }

    busy_ = true;
    struct Idle {
        bool& busy;
        ~Idle() { busy = false; }
    } idle{busy_};
    set_busy_state(true);
    view_.process_pending_events();
    view_.process_pending_events();
    return convert(source_name, index, options);
}

RunOutcome ConversionRun::convert(const std::string& source_name, int index,
                                  const Options& options) {
    auto finish = [this](RunOutcome outcome, const std::string& message) {
        set_busy_state(false);
        view_.show_message(message);
        return outcome;
    };
    const std::string not_converted = ".  Data not converted.";

    std::optional<AtomicFile> target;
    std::string failure;
    try {
        const OpenedSource source = G_READ(folder_ / path_of(source_name));
        if (source.status == OpenedSource::Status::not_found) {
            return finish(RunOutcome::source_missing,
                          "Could not find " + source_name + not_converted);
        }
        if (source.status == OpenedSource::Status::failed) {
            return finish(RunOutcome::source_unreadable,
                          "Could not read " + source_name + not_converted);
        }
        if (options.write_target) {
            target.emplace(folder_ / path_of(target_name_of(source_name)), options.temporary);
        }
        FileSink sink(target ? &*target : nullptr);
        SourceLines lines(*source.file, options.block_size);
        TargetBuffer buffer(sink, options.block_size);
        const MessageFn show = [this](const std::string& text) { view_.show_message(text); };
        switch (convert_lines(lines, buffer, show)) {
            case LinesResult::values_too_long:
                return finish(RunOutcome::values_too_long, "Data not converted.");
            case LinesResult::no_known_column:
                return finish(RunOutcome::no_known_column,
                              "No known column in the first line of " + source_name +
                                  not_converted);
            case LinesResult::converted:
                break;
        }
    } catch (const ReadError&) {
        target.reset();
        return finish(RunOutcome::source_unreadable,
                      "Could not read " + source_name + not_converted);
    } catch (const std::bad_alloc&) {
        failure = "not enough memory";
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unexpected error";
    }
    if (!failure.empty()) {
        target.reset();
        return finish(RunOutcome::failed,
                      "Could not convert " + source_name + " (" + failure + ")" + not_converted);
    }

    set_busy_state(false);
    if (!target) return RunOutcome::checked;
    switch (target->commit()) {
        case SaveResult::replace_failed:
            view_.show_message("Could not Delete existing file.  Data not saved.");
            return RunOutcome::replace_failed;
        case SaveResult::write_failed:
            view_.show_message("Could not Save existing file.  Data not saved.");
            return RunOutcome::write_failed;
        case SaveResult::saved:
            break;
    }
    view_.set_entry_text(index, "*" + view_.entry_text(index));
    view_.refresh_list();
    view_.show_message("Done.");
    return RunOutcome::converted;
}

void ConversionRun::set_busy_state(bool busy) {
    view_.set_close_enabled(!busy);
    view_.set_close_caption(busy ? "Working..." : "Close");
}

}  // namespace convert
