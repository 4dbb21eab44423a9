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
#include "workbooks/ods/row_text.h"
#include "workbooks/sheet_row.h"
#include "workbooks/sheet_xml/sheet_xml.h"
#include "workbooks/workbook_rows.h"

namespace convert {

namespace {

using namespace ods;

/// The most rows a sheet has (LibreOffice's largest sheets): rows with
/// cells past it cannot be a sheet's.
constexpr std::uint64_t kSheetRows = std::uint64_t{1} << 24;

/// The usual form of a row: cells with paragraphs, spans and spaces.
UsualRow usual_row() {
    return UsualRow({{kTable, "table-row"}}, {{kTable, "table-cell"},
                                              {kTable, "covered-table-cell"},
                                              {kText, "p"},
                                              {kText, "span"},
                                              {kText, "s"}});
}

// The workbook's small parts are read whole when it is opened: its type, its
// manifest, its styles. content.xml is then read a row at a time, up to the
// first sheet's end; a row is kept until all its copies are handed on.
class OdsSheet final : public SheetReader, XmlHandler {
public:
    OdsSheet(RandomAccessSource& file, std::string& part, SheetReading reading)
        : part_(part), reading_(reading) {
        open(file);
    }

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
    /// Where in the sheet the parser stands.
    enum class At { table, row, cell, paragraph, after };

    void open(RandomAccessSource& file) {
        zip_.emplace(file);
        const ZipEntry& content = open_package(*zip_, part_, styles_);
        part_ = "content.xml";
        content_.emplace(*zip_, content);
        content_->bytes().by_rows();
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
                        if (part.at(kTable, "table")) {
                            rows_.emplace(part.bytes(), hand_over(part.xml(), *this), usual_row(),
                                          reading_);
                            at_ = At::table;
                            return;
                        }
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
                row.add(cell.column, texts_.view(cell.offset, cell.size), cell.repeated);
            }
            for (const Refused& refused : refused_) {
                row.refuse(refused.column, refused.kind, refused.detail, refused.count);
            }
            return {first, repeat_};
        }
    }

    /// Reads the sheet's next row; false at the sheet's end.
    bool next_row() {
        while (at_ != At::after) {
            row_ended_ = false;
            if (!rows_->run(*this, at_ == At::table && skipped_ == 0)) at_ = At::after;
            if (row_ended_) return true;
        }
        if (content_) end_of_table();
        return false;
    }

    /// The rest of the workbook is not read.
    void end_of_table() {
        rows_.reset();
        content_->finish();
        content_.reset();
    }

    void start(std::string_view ns, std::string_view name,
               const XmlAttributes& attributes) override {
        if (skipped_ > 0) {
            ++skipped_;
            return;
        }
        switch (at_) {
            case At::table:
                if (ns != kTable) break;
                if (name == "table-row") return start_row(attributes);
                if (name == "table-row-group" || name == "table-header-rows" ||
                    name == "table-rows" || name == "table-column-group" ||
                    name == "table-header-columns" || name == "table-columns") {
                    ++groups_;
                    return;
                }
                if (name == "table-column") read_column(attributes);
                break;
            case At::row:
                if (ns == kTable && (name == "table-cell" || name == "covered-table-cell")) {
                    return start_cell(attributes);
                }
                break;
            case At::cell:
                if (paragraphs_ && ns == kText && (name == "p" || name == "h")) {
                    // A cell's paragraphs are one line each.
                    at_ = At::paragraph;
                    return texts_.start_paragraph();
                }
                break;  // an annotation, a drawing
            case At::paragraph:
                if (texts_.start_in_paragraph(ns, name, attributes)) return;
                break;
            case At::after:
                return;
        }
        skipped_ = 1;
    }

    void end(std::string_view, std::string_view) override {
        if (skipped_ > 0) {
            --skipped_;
            return;
        }
        switch (at_) {
            case At::table:
                if (groups_ > 0) {
                    --groups_;
                    return;
                }
                at_ = At::after;
                return rows_->pause();
            case At::row:
                at_ = At::table;
                row_ended_ = true;
                return rows_->pause();
            case At::cell:
                at_ = At::row;
                return end_cell();
            case At::paragraph:
                if (texts_.end_in_paragraph()) at_ = At::cell;
                return;
            case At::after:
                return;
        }
    }

    void read_column(const XmlAttributes& attributes) {
        const std::uint64_t repeated =
            count_of(attributes.find(kTable, "number-columns-repeated").value_or("1"),
                     "a column count", kSheetColumns, 1);
        const DataStyle* format =
            styles_.of_column(attributes.find(kTable, "default-cell-style-name"));
        const std::size_t columns = std::min(column_formats_.size() + repeated, kSheetColumns);
        column_formats_.resize(columns, format);
    }

    void start_row(const XmlAttributes& attributes) {
        at_ = At::row;
        repeat_ = count_of(attributes.find(kTable, "number-rows-repeated").value_or("1"),
                           "a row count", kSheetRows + 1, 1);
        texts_.clear();
        cells_.clear();
        refused_.clear();
        column_ = 0;
    }

    /// Reads a cell's attributes; its paragraphs are read if they are its text.
    void start_cell(const XmlAttributes& attributes) {
        at_ = At::cell;
        paragraphs_ = false;
        error_ = false;
        cell_column_ = column_;
        cell_offset_ = texts_.size();
        const std::size_t repeated =
            count_of(attributes.find(kTable, "number-columns-repeated").value_or("1"),
                     "a column count", kSheetColumns, 1);
        column_ += repeated;
        cell_repeated_ = repeated;
        // A cell a merged range covers is read as it holds: the export
        // writes its value, if it kept one.
        if (cell_column_ >= kSheetColumns) return;
        const std::size_t column = cell_column_;
        const std::size_t columns = std::min(repeated, kSheetColumns - column);
        const auto refuse = [&](CellRefusal::Kind kind, std::string detail) {
            refused_.push_back({column, columns, kind, std::move(detail)});
        };
        const auto type = attributes.find(kOffice, "value-type");
        if (attributes.find(kCalcExt, "value-type") == "error") {
            paragraphs_ = error_ = true;
        } else if (!type && attributes.find(kTable, "formula")) {
            refuse(CellRefusal::Kind::unsaved_formula, {});
        } else if (!type || *type == "string") {
            // Text without a value type shows as it is typed.
            if (const auto value = attributes.find(kOffice, "string-value")) {
                texts_.keep(*value);
            } else {
                paragraphs_ = true;
            }
        } else if (*type == "float") {
            const DataStyle* style = format_of(column, attributes);
            const std::string_view text = attributes.find(kOffice, "value").value_or("");
            const std::optional<double> value = parse_cell_number(text);
            if (!value) unreadable_cell(column, "the number \"" + std::string(text) + "\"");
            if (style == nullptr || style->shown) {
                texts_.keep(
                    shown_number(*value, style == nullptr ? NumberFormat{} : *style->shown));
            } else {
                refuse(CellRefusal::Kind::number_format, styles_.code_of(style));
            }
        } else if (const std::string_view usual = usual_code(*type); !usual.empty()) {
            // Shown as a percentage, money, a date or a time whatever its style.
            const DataStyle* style = format_of(column, attributes);
            refuse(CellRefusal::Kind::number_format,
                   style != nullptr && !style->shown ? styles_.code_of(style) : std::string(usual));
        } else if (*type == "boolean") {
            const std::string_view value = attributes.find(kOffice, "boolean-value").value_or("");
            if (value != "true" && value != "false") {
                unreadable_cell(column, "the truth value \"" + std::string(value) + "\"");
            }
            texts_.keep(value == "true" ? "TRUE" : "FALSE");
        } else if (*type != "void") {
            unreadable_cell(column, "a value of the unknown type \"" + std::string(*type) + "\"");
        }
        texts_.start_cell();
    }

    void end_cell() {
        if (cell_column_ >= kSheetColumns) return;
        const std::size_t offset = cell_offset_;
        if (error_) {
            refused_.push_back({cell_column_,
                                std::min(cell_repeated_, kSheetColumns - cell_column_),
                                CellRefusal::Kind::error, texts_.take_from(offset)});
        } else if (texts_.size() > offset) {
            cells_.push_back({cell_column_, offset, texts_.size() - offset, cell_repeated_});
        }
    }

    [[noreturn]] void unreadable_cell(std::size_t column, const std::string& what) const {
        unreadable("Cell " + cell_name(column, next_number_) + " of the first sheet holds " +
                   what.substr(0, 100) + ", which cannot be read.");
    }

    /// The data style of the cell started: its own style's, else its column's.
    const DataStyle* format_of(std::size_t column, const XmlAttributes& attributes) {
        const auto name = attributes.find(kTable, "style-name");
        if (!name)
            return column < column_formats_.size() ? column_formats_[column]
                                                   : styles_.default_style();
        if (*name != last_style_) {
            last_style_ = *name;
            last_format_ = styles_.of(*name);
        }
        return last_format_;
    }

    void text(std::string_view text) override {
        if (at_ == At::paragraph && skipped_ == 0) texts_.paragraph_text(text);
    }

    std::string& part_;  // the part being read, named in errors
    SheetReading reading_;
    std::optional<ZipArchive> zip_;
    std::optional<Part> content_;   // until the first sheet's end
    std::optional<SheetXml> rows_;  // its rows
    At at_ = At::after;
    std::size_t skipped_ = 0;  // elements open within one passed over
    std::size_t groups_ = 0;   // row and column groups open
    bool row_ended_ = false;   // since the parser last ran

    OdsStyles styles_;
    std::vector<const DataStyle*> column_formats_;
    std::string last_style_;                  // the style of the last cell that named one,
    const DataStyle* last_format_ = nullptr;  // and its data style

    // The row read, for `repeat_` rows from the sheet's row `next_number_`.
    RowText texts_;
    std::vector<Cell> cells_;
    std::vector<Refused> refused_;
    std::uint64_t repeat_ = 1;
    std::uint64_t next_number_ = 1;
    std::size_t column_ = 0;  // of the next cell

    // The cell being read, in `cell_repeated_` columns from `cell_column_`,
    // its text from texts_[cell_offset_] on.
    std::size_t cell_column_ = 0, cell_repeated_ = 1, cell_offset_ = 0;
    bool paragraphs_ = false;  // its text is its paragraphs'
    bool error_ = false;       // its text is an error's
};

}  // namespace

std::unique_ptr<SheetReader> ods_sheet(RandomAccessSource& file, std::string& part,
                                       SheetReading reading) {
    return std::make_unique<OdsSheet>(file, part, reading);
}

}  // namespace convert
