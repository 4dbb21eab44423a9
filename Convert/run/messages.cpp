#include "run/messages.h"

#include "records/row_converter.h"
#include "run/source_names.h"
#include "sources/row_source.h"
#include "text/ascii_text.h"
#include "text/utf8.h"

namespace convert {

namespace {

std::string shown(std::string_view value) {
    return shortened(value, kLongestShownValue);
}

constexpr std::string_view kNotConverted = ".  Data not converted.";

}  // namespace

MessageLines value_message(const ValueProblem& problem) {
    std::string field = "Field: " + std::string(problem.field);
    switch (problem.kind) {
        case ValueProblem::Kind::too_long:
            // A non-negative number is written with a space in its sign place.
            field += "  Response Length:  " + std::to_string(problem.length) +
                     "   Response: " + shown(problem.value) +
                     "  is longer than: " + std::to_string(problem.width);
            break;
        case ValueProblem::Kind::line_break:
            field += "  Response: " + shown(problem.value) + "  holds a line break.";
            break;
        case ValueProblem::Kind::not_in_code_page:
            field += "  Response: " + shown(problem.value) + "  cannot be written in code page " +
                     std::to_string(problem.code_page) + ".";
            break;
    }
    return {"Model: " + shown(trim_spaces(problem.make)) + "  " + shown(problem.model), "", field};
}

MessageLines closing_message(const RunResult& result, std::string_view source_name) {
    const std::string name(source_name);
    const std::string not_converted(kNotConverted);
    const std::string row = std::to_string(result.rows.row);
    switch (result.end) {
        case RunEnd::converted:
            if (result.access_not_kept.empty()) return {"Done."};
            // Replaced, as a share that grants Change but not Full Control
            // allows; that the old file's access list is not kept is said.
            return {"Done.", "The access rights of " + target_name_of(source_name) +
                                 " could not be kept (" + result.access_not_kept +
                                 "); it now has its folder's."};
        case RunEnd::checked:
        case RunEnd::stopped:
            return {};
        case RunEnd::invalid_name:
            return {invalid_name_message(name)};
        case RunEnd::source_missing:
            return {"Could not find " + name + not_converted};
        case RunEnd::source_unreadable:
            return {"Could not read " + name + not_converted};
        case RunEnd::encrypted:
            return {name + " is encrypted with a password" + not_converted};
        case RunEnd::default_password:
            return {name +
                    " is encrypted (with the default password Excel uses for protected "
                    "workbooks); open and save it without protection."};
        case RunEnd::source_changed:
            return {name + " changed while it was read" + not_converted};
        case RunEnd::failed:
            return {"Could not convert " + name + " (" + result.reason + ")" + not_converted};
        case RunEnd::replace_failed:
            return {"Could not Delete existing file.  Data not saved."};
        case RunEnd::write_failed:
            return {"Could not Save existing file.  Data not saved."};
        case RunEnd::rows_refused:
            break;
    }
    switch (result.rows.end) {
        case RowsEnd::no_known_column:
            return {"No known column in the first line of " + name + not_converted};
        case RowsEnd::missing_columns: {
            std::string names;
            for (const std::string_view missing : result.rows.missing) {
                names.append(names.empty() ? "" : ", ").append(missing);
            }
            return {"No column " + names + " in the first line of " + name + not_converted};
        }
        case RowsEnd::unclosed_quote:
            return {"A quote in row " + row + " of " + name + " is never closed" + not_converted};
        case RowsEnd::row_too_long:
            return {"Row " + row + " of " + name + " is longer than " +
                    std::to_string(kLongestRow >> 20) + " MB" + not_converted};
        case RowsEnd::rows_after_short_row:
            return {"Row " + row + " of " + name + " has fewer than " +
                    std::to_string(kShortestRow) + " characters, and rows follow it" +
                    not_converted};
        case RowsEnd::no_rows:
            return {"No rows of data in " + name + not_converted};
        case RowsEnd::cell_refused: {
            const CellRefusal& cell = result.rows.cell;
            std::string what;
            switch (cell.kind) {
                case CellRefusal::Kind::number_format:
                    what = "has the number format " + cell.detail + ", which Convert does not read";
                    break;
                case CellRefusal::Kind::error:
                    what = "holds the error " + cell.detail;
                    break;
                case CellRefusal::Kind::unsaved_formula:
                    what =
                        "holds a formula whose value was never saved; open and save the workbook "
                        "in a spreadsheet program";
                    break;
            }
            return {"Cell " + cell.cell + " of " + name + " " + what + not_converted};
        }
        case RowsEnd::values_rejected:
        case RowsEnd::converted:
            break;
    }
    return {"Data not converted."};
}

std::string_view reason_after(const RunResult& result) {
    return result.end == RunEnd::failed ? std::string_view() : result.reason;
}

std::string invalid_name_message(std::string_view name) {
    return "Invalid file name: " + std::string(name);
}

std::string already_converted_message(std::string_view name) {
    return std::string(name) + " is already converted";
}

std::string joined(const MessageLines& lines, std::string_view line_break) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 0) text += line_break;
        text += lines[i];
    }
    return text;
}

}  // namespace convert
