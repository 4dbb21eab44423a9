#include "conversion_run.h"

#include <array>
#include <cstring>
#include <new>
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

/// Calls `use` for every data line of `content`, each without its CR. A line
/// ends at a CR; the one character after the CR is skipped, taken to be the
/// LF. The first line shorter than kShortestLine ends the data, and a header
/// line that short means there is none. Lines that would begin inside the end
/// sentinel are all short, so the sentinel itself never needs to be built.
template <class Use>
void for_each_data_line(std::string_view content, Use&& use) {
    const std::size_t header_end = content.find('\r');
    if (header_end == std::string_view::npos || header_end < kShortestLine) return;
    for (std::size_t start = header_end + 2; start < content.size();) {
        const std::size_t end = content.find('\r', start);
        const std::string_view line = content.substr(start, end - start);
        if (line.size() < kShortestLine) return;
        use(line);
        if (end == std::string_view::npos) return;
        start = end + 2;
    }
}

/// An upper bound of the output's size: make and model are parts of their
/// line, and the data block is never wider than all its fields together.
std::size_t largest_output_size(std::string_view content) {
    std::size_t lines = 1;
    for (const char *p = content.data(), *end = p + content.size(); p != end; ++lines) {
        const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(end - p));
        if (cr == nullptr) break;
        p = static_cast<const char*>(cr) + 1;
    }
    return content.size() + lines * kLargestRecordOverhead + kFileEnd.size();
}

class LineReader {
public:
    explicit LineReader(std::string_view content)
        : table_(content.substr(0, content.find('\r')), kRunColumns) {
        for (std::size_t i = 0; i < kDataBlock.size(); ++i)
            present_[i] = table_.has(kFirstField + i);
    }

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

void show_over_length(const LineReader& line, bool& valid, const MessageFn& show_message) {
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        const DataField& field = kDataBlock[i];
        const std::string_view value = line.fields()[i];
        if (!line.present()[i] || value.size() <= static_cast<std::size_t>(field.width)) continue;
        valid = false;
        show_message(
            over_length_message(line.make(), line.model(), field.name, value, field.width));
    }
}

}  // namespace

std::string source_name_of(std::string_view entry) {
    const std::string upper_entry = upper(entry);
    return std::string(trim_spaces(trim_spaces(upper_entry).substr(0, 11)));
}

std::string target_name_of(std::string_view source_name) {
    return "SP" + std::string(source_name.substr(std::min<std::size_t>(3, source_name.size()), 4)) +
           ".TXT";
}

bool convert_content(std::string_view content, TargetBuffer& output,
                     const MessageFn& show_message) {
    output = TargetBuffer(largest_output_size(content));
    LineReader reader(content);
    bool valid = true;
    for_each_data_line(content, [&](std::string_view line) {
        reader.read(line);
        show_over_length(reader, valid, show_message);
        // Once a value did not fit the target is never written: stop building it.
        if (valid)
            append_record(output, reader.make(), reader.model(), reader.fields(), reader.present());
    });
    if (!valid) {
        output = TargetBuffer();
        return false;
    }
    output.append(kFileEnd);
    return true;
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

    TargetBuffer output;
    std::string failure;
    try {
        const ReadResult source = G_READ(folder_ / source_name);
        if (source.status == ReadResult::Status::not_found) {
            return finish(RunOutcome::source_missing,
                          "Could not find " + source_name + not_converted);
        }
        if (source.status == ReadResult::Status::failed) {
            return finish(RunOutcome::source_unreadable,
                          "Could not read " + source_name + not_converted);
        }
        const MessageFn show = [this](const std::string& text) { view_.show_message(text); };
        if (!convert_content(source.content, output, show)) {
            return finish(RunOutcome::values_too_long, "Data not converted.");
        }
    } catch (const std::bad_alloc&) {
        failure = "not enough memory";
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unexpected error";
    }
    if (!failure.empty()) {
        output = TargetBuffer();
        return finish(RunOutcome::failed,
                      "Could not convert " + source_name + " (" + failure + ")" + not_converted);
    }

    set_busy_state(false);
    if (!options.write_target) return RunOutcome::checked;
    switch (G_FILE_SAVE(folder_ / target_name_of(source_name), output.view())) {
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
