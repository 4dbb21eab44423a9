#include "workbooks/ods/ods_sheet.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "containers/zip_archive.h"
#include "workbooks/number_format.h"
#include "workbooks/ods/ods_package.h"
#include "workbooks/ods/ods_part.h"
#include "workbooks/ods/ods_styles.h"
#include "workbooks/sheet_row.h"
#include "workbooks/workbook_rows.h"

namespace convert {

namespace {

using namespace ods;
using Node = Part::Node;

/// The most rows a sheet has (LibreOffice's largest sheets): rows with
/// cells past it cannot be a sheet's.
constexpr std::uint64_t kSheetRows = std::uint64_t{1} << 24;
/// White space that a paragraph's text collapses to one space.
constexpr std::string_view kWhiteSpace = " \t\n\r";

// The workbook's small parts are read whole when it is opened: its type, its
// manifest, its styles. content.xml is then read a row at a time, up to the
// first sheet's end; a row is kept until all its copies are handed on.
class OdsSheet final : public SheetReader {
public:
    OdsSheet(RandomAccessSource& file, std::string& part) : part_(part) { open(file); }

    RowBlock next(SheetRow& row) override { return next_block(row); }

private:
    /// A cell with text: texts_.substr(offset, size), in `repeated` columns.
    struct Cell {
        std::size_t column, offset, size, repeated;
    };
    /// `count` refused cells from `column` on.
    struct Refused {
        std::size_t column, count;
        CellRefusal::Kind kind;
        std::string detail;
    };

    void open(RandomAccessSource& file) {
        zip_.emplace(file);
        const ZipEntry& content = open_package(*zip_, part_, styles_);
        part_ = "content.xml";
        content_.emplace(*zip_, content);
        find_first_table();
    }

    /// Reads content.xml up to the first sheet's first row or column.
    void find_first_table() {
        Part& part = *content_;
        if (!part.root(kOffice, "document-content")) unreadable(no_spreadsheet());
        while (part.next_child()) {
            if (part.at(kOffice, "automatic-styles")) {
                styles_.read(part, part_, true);
            } else if (part.at(kOffice, "body")) {
                styles_.resolve();
                while (part.next_child()) {
                    if (!part.at(kOffice, "spreadsheet")) {
                        part.skip();
                        continue;
                    }
                    while (part.next_child()) {
                        if (part.at(kTable, "table")) return;
                        part.skip();
                    }
                    end_of_table();  // a spreadsheet without sheets
                    return;
                }
            } else {
                part.skip();
            }
        }
        unreadable(no_spreadsheet());
    }
    static std::string no_spreadsheet() {
        return "The workbook's content.xml holds no spreadsheet: it is not an OpenDocument "
               "spreadsheet.";
    }

    /// Fills `row` with the next row with cells, once however many times
    /// it is repeated.
    RowBlock next_block(SheetRow& row) {
        for (;;) {
            if (!next_row()) return {};
            const std::uint64_t first = next_number_;
            next_number_ += repeat_;
            // Empty rows cost nothing, however many.
            if (cells_.empty() && refused_.empty()) continue;
            if (next_number_ - 1 > kSheetRows) {
                unreadable("The workbook's first sheet has cells in row " +
                           std::to_string(next_number_ - 1) + ", past the most a sheet has.");
            }
            row.clear();
            for (const Cell& cell : cells_) {
                row.add(cell.column, std::string_view(texts_).substr(cell.offset, cell.size),
                        cell.repeated);
            }
            for (const Refused& refused : refused_) {
                row.refuse(refused.column, refused.kind, refused.detail, refused.count);
            }
            return {first, repeat_};
        }
    }

    /// Reads up to the next row of the sheet, and reads it; false at the sheet's end.
    bool next_row() {
        while (content_) {
            Part& part = *content_;
            if (!part.next_child()) {
                if (depth_ == 0)
                    end_of_table();
                else
                    --depth_;
                continue;
            }
            const std::string_view name = part.xml().name();
            if (part.xml().ns() == kTable) {
                if (name == "table-row") {
                    read_row();
                    return true;
                }
                if (name == "table-row-group" || name == "table-header-rows" ||
                    name == "table-rows" || name == "table-column-group" ||
                    name == "table-header-columns" || name == "table-columns") {
                    ++depth_;
                    continue;
                }
                if (name == "table-column") read_column();
            }
            part.skip();
        }
        return false;
    }

    /// The rest of the workbook is not read.
    void end_of_table() {
        content_->finish();
        content_.reset();
    }

    void read_column() {
        const Part& part = *content_;
        const std::uint64_t repeated =
            count_of(part.attribute(kTable, "number-columns-repeated").value_or("1"),
                     "a column count", kSheetColumns, 1);
        const DataStyle* format =
            styles_.of_column(part.attribute(kTable, "default-cell-style-name"));
        const std::size_t columns = std::min(column_formats_.size() + repeated, kSheetColumns);
        column_formats_.resize(columns, format);
    }

    void read_row() {
        Part& part = *content_;
        repeat_ = count_of(part.attribute(kTable, "number-rows-repeated").value_or("1"),
                           "a row count", kSheetRows + 1, 1);
        texts_.clear();
        cells_.clear();
        refused_.clear();
        std::size_t column = 0;
        while (part.next_child()) {
            if (part.at(kTable, "table-cell") || part.at(kTable, "covered-table-cell")) {
                column += read_cell(column);
            } else {
                part.skip();
            }
        }
    }

    /// Reads a cell to its end; the number of columns it stands in.
    std::size_t read_cell(std::size_t column) {
        Part& part = *content_;
        const std::size_t repeated =
            count_of(part.attribute(kTable, "number-columns-repeated").value_or("1"),
                     "a column count", kSheetColumns, 1);
        // A cell a merged range covers is read as it holds: the export
        // writes its value, if it kept one.
        if (column >= kSheetColumns) {
            part.skip();
            return repeated;
        }
        const std::size_t columns = std::min(repeated, kSheetColumns - column);
        const auto refuse = [&](CellRefusal::Kind kind, std::string detail) {
            refused_.push_back({column, columns, kind, std::move(detail)});
        };
        const std::size_t offset = texts_.size();
        const auto type = part.attribute(kOffice, "value-type");
        if (part.attribute(kCalcExt, "value-type") == "error") {
            read_paragraphs();
            refuse(CellRefusal::Kind::error, texts_.substr(offset));
            texts_.resize(offset);
            return repeated;
        }
        if (!type && part.attribute(kTable, "formula")) {
            refuse(CellRefusal::Kind::unsaved_formula, {});
            part.skip();
            return repeated;
        }
        // Text without a value type shows as it is typed.
        if (!type || *type == "string") {
            if (const auto value = part.attribute(kOffice, "string-value")) {
                keep(*value);
                part.skip();
            } else {
                read_paragraphs();
            }
        } else if (*type == "float") {
            const DataStyle* style = format_of(column);
            const std::string_view text = part.attribute(kOffice, "value").value_or("");
            const std::optional<double> value = parse_cell_number(text);
            if (!value) unreadable_cell(column, "the number \"" + std::string(text) + "\"");
            if (style == nullptr || style->shown) {
                keep(shown_number(*value, style == nullptr ? NumberFormat{} : *style->shown));
            } else {
                refuse(CellRefusal::Kind::number_format, styles_.code_of(style));
            }
            part.skip();
        } else if (const std::string_view usual = usual_code(*type); !usual.empty()) {
            // Shown as a percentage, money, a date or a time whatever its style.
            const DataStyle* style = format_of(column);
            refuse(CellRefusal::Kind::number_format,
                   style != nullptr && !style->shown ? styles_.code_of(style) : std::string(usual));
            part.skip();
        } else if (*type == "boolean") {
            const std::string_view value = part.attribute(kOffice, "boolean-value").value_or("");
            if (value != "true" && value != "false") {
                unreadable_cell(column, "the truth value \"" + std::string(value) + "\"");
            }
            keep(value == "true" ? "TRUE" : "FALSE");
            part.skip();
        } else if (*type == "void") {
            part.skip();
        } else {
            unreadable_cell(column, "a value of the unknown type \"" + std::string(*type) + "\"");
        }
        if (texts_.size() > offset)
            cells_.push_back({column, offset, texts_.size() - offset, repeated});
        return repeated;
    }

    [[noreturn]] void unreadable_cell(std::size_t column, const std::string& what) const {
        unreadable("Cell " + cell_name(column, next_number_) + " of the first sheet holds " +
                   what.substr(0, 100) + ", which cannot be read.");
    }

    /// The data style of the cell just started: its own style's, else its column's.
    const DataStyle* format_of(std::size_t column) {
        const auto name = content_->attribute(kTable, "style-name");
        if (!name)
            return column < column_formats_.size() ? column_formats_[column]
                                                   : styles_.default_style();
        if (*name != last_style_) {
            last_style_ = *name;
            last_format_ = styles_.of(*name);
        }
        return last_format_;
    }

    /// Reads the cell's paragraphs, one line each, to its end.
    void read_paragraphs() {
        Part& part = *content_;
        bool first = true;
        while (part.next_child()) {
            if (part.at(kText, "p") || part.at(kText, "h")) {
                if (!first) keep("\n");
                first = false;
                read_paragraph();
            } else {
                part.skip();  // an annotation, a drawing
            }
        }
    }

    /// Reads a paragraph's text to its end: white space collapsed, the
    /// spaces, tabs and line breaks its elements stand for, notes, ruby
    /// text, annotations and drawings left out.
    void read_paragraph() {
        XmlReader& xml = content_->xml();
        bool any = false;    // text kept so far
        bool space = false;  // white space read since
        const auto kept = [&](std::string_view text) {
            if (space) keep(" ");
            space = false;
            any = true;
            keep(text);
        };
        for (std::size_t depth = 1; depth > 0;) {
            switch (content_->next_node()) {
                case Node::text:
                    for (std::string_view text = xml.text(); !text.empty();) {
                        const std::size_t gap =
                            std::min(text.find_first_of(kWhiteSpace), text.size());
                        if (gap > 0) kept(text.substr(0, gap));
                        text.remove_prefix(gap);
                        const std::size_t word =
                            std::min(text.find_first_not_of(kWhiteSpace), text.size());
                        if (word > 0) space = any;
                        text.remove_prefix(word);
                    }
                    break;
                case Node::start:
                    if (xml.ns() == kText && xml.name() == "s") {
                        kept({});
                        keep(count_of(xml.attribute(kText, "c").value_or("1"), "a space count",
                                      kLongestRow + 1, 1),
                             ' ');
                    } else if (xml.ns() == kText && xml.name() == "line-break") {
                        kept("\n");
                    } else if (xml.ns() == kText && xml.name() == "tab") {
                        // The export writes nothing for it.
                    } else if (!(xml.ns() == kText &&
                                 (xml.name() == "note-body" || xml.name() == "ruby-text")) &&
                               !(xml.ns() == kOffice && xml.name() == "annotation") &&
                               xml.ns() != kDraw) {
                        ++depth;
                        break;
                    }
                    content_->skip();
                    break;
                case Node::end:
                    --depth;
                    break;
                case Node::done:
                    break;
            }
        }
    }

    /// Appends a cell's text to the row's: none past the longest row, so
    /// that a row too long holds no more.
    void keep(std::string_view text) { texts_.append(text.substr(0, room())); }
    void keep(std::uint64_t count, char c) {
        texts_.append(static_cast<std::size_t>(std::min<std::uint64_t>(count, room())), c);
    }
    std::size_t room() const {
        return texts_.size() > kLongestRow ? 0 : kLongestRow + 1 - texts_.size();
    }

    std::string& part_;  // the part being read, named in errors
    std::optional<ZipArchive> zip_;
    std::optional<Part> content_;  // until the first sheet's end

    OdsStyles styles_;
    std::vector<const DataStyle*> column_formats_;
    std::string last_style_;                  // the style of the last cell that named one,
    const DataStyle* last_format_ = nullptr;  // and its data style

    std::size_t depth_ = 0;  // of row and column groups the sheet's reading stands in
    // The row read, for `repeat_` rows from the sheet's row `next_number_`.
    std::string texts_;
    std::vector<Cell> cells_;
    std::vector<Refused> refused_;
    std::uint64_t repeat_ = 1;
    std::uint64_t next_number_ = 1;
};

}  // namespace

std::unique_ptr<SheetReader> ods_sheet(RandomAccessSource& file, std::string& part) {
    return std::make_unique<OdsSheet>(file, part);
}

}  // namespace convert
