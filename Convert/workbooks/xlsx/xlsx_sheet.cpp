#include "workbooks/xlsx/xlsx_sheet.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "containers/compound_file.h"
#include "containers/xml_reader.h"
#include "workbooks/number_format.h"
#include "workbooks/sheet_row.h"
#include "workbooks/workbook_rows.h"
#include "workbooks/xlsx/shared_strings.h"
#include "workbooks/xlsx/xlsx_markup.h"
#include "workbooks/xlsx/xlsx_package.h"
#include "workbooks/xlsx/xlsx_styles.h"

namespace convert {

namespace {

using namespace xlsx;

/// A cell's text kept once it is surely too long for a row: escapes
/// decoded later take no more than 13 bytes off it.
constexpr std::size_t kMaxCellText = kLongestRow + 16;

/// Whether General shows the stored number `text` as it stands: a whole
/// number of at most 15 digits without leading zeros, but -0.
bool shown_as_stored(std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 15 || (text[0] == '0' && (negative || text.size() > 1))) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

class XlsxSheet final : public SheetReader {
public:
    XlsxSheet(RandomAccessSource& file, std::string& part) : part_(part) { open(file); }
    RowBlock next(SheetRow& row) override;

private:
    enum class CellType { number, shared, inline_string, formula_string, boolean, error, date };

    // The workbook's parts.
    void open(RandomAccessSource& file);
    void open_parts(RandomAccessSource& file);
    void open_sheet(const std::string& path);

    // The sheet's rows.
    /// Reads on to the next <row>: its number, or 0 past the last.
    std::size_t next_row_start();
    void read_cells(std::size_t row);
    void read_cell(std::size_t row, std::size_t& next_column);
    void take_cell(std::size_t row, std::size_t column, CellType type, unsigned style, bool formula,
                   bool value);
    [[noreturn]] void cell_fault(std::size_t row, std::size_t column,
                                 const std::string& fault) const;
    void skip_element();

    std::string& part_;  // the part being read, named in failures
    std::unique_ptr<Package> package_;
    bool recalculate_ = false;  // formulas' saved values are placeholders
    SharedStrings strings_;
    Styles styles_;

    std::unique_ptr<ByteSource> sheet_stream_;
    std::unique_ptr<XmlReader> xml_;
    std::size_t last_row_ = 0;  // the number of the last <row> met
    bool rows_ended_ = false;

    SheetRow* row_ = nullptr;  // being filled
    std::string value_;        // the cell's text as read
};

}  // namespace

std::unique_ptr<SheetReader> xlsx_sheet(RandomAccessSource& file, std::string& part) {
    return std::make_unique<XlsxSheet>(file, part);
}

void XlsxSheet::open(RandomAccessSource& file) {
    if (is_compound_file(file)) {
        switch (encryption_of(file)) {
            case Encryption::password:
                throw WorkbookError(WorkbookError::Kind::encrypted,
                                    "The workbook is encrypted: it needs a password to be opened.");
            case Encryption::default_password:
                throw WorkbookError(WorkbookError::Kind::default_password,
                                    "The workbook is encrypted with Excel's default password.");
            case Encryption::none:
                break;
        }
        throw WorkbookError(WorkbookError::Kind::unreadable,
                            "It is an Excel 97-2003 workbook, or another compound file, not an "
                            "Office Open XML workbook.");
    }
    open_parts(file);
}

RowBlock XlsxSheet::next(SheetRow& row) {
    row_ = &row;
    // Rows with nothing in them are passed over.
    for (std::size_t number; (number = next_row_start()) != 0;) {
        read_cells(number);
        if (!row.empty()) return {number, 1};
    }
    return {};
}

// The workbook's parts, found through the relationships of the package
// and of the workbook.

void XlsxSheet::open_parts(RandomAccessSource& file) {
    package_ = std::make_unique<Package>(file, part_);
    std::string workbook;
    for (const Relationship& r : package_->relationships("").list) {
        if (r.type.ends_with("/officeDocument")) {
            workbook = r.target;
            break;
        }
    }
    if (workbook.empty() || package_->find(workbook) == nullptr) {
        unreadable("The zip archive holds no workbook.");
    }
    std::string sheet, strings, styles;
    const Relationships parts = package_->relationships(workbook);
    for (const Relationship& r : parts.list) {
        if (strings.empty() && r.type.ends_with("/sharedStrings")) strings = r.target;
        if (styles.empty() && r.type.ends_with("/styles")) styles = r.target;
    }
    {
        const auto stream = package_->open(workbook);
        const auto xml = read_xml(*stream);
        for (Node node; (node = xml->next()) != Node::done;) {
            if (node != Node::start || !is_main(xml->ns())) continue;
            if (xml->name() == "sheet" && sheet.empty()) {
                auto id = xml->attribute(kRelationIds, "id");
                if (!id) id = xml->attribute(kStrictRelationIds, "id");
                const auto named = parts.by_id.find(id.value_or(std::string_view{}));
                if (!id || named == parts.by_id.end()) {
                    unreadable("The workbook's sheet " + quoted(attribute(*xml, "name")) +
                               " has no part.");
                }
                // Chart sheets and the like have no cells.
                const Relationship& r = parts.list[named->second];
                if (r.type.ends_with("/worksheet")) sheet = r.target;
            } else if (xml->name() == "calcPr") {
                const std::string_view full = attribute(*xml, "fullCalcOnLoad");
                recalculate_ = full == "1" || full == "true";
            }
        }
    }
    if (sheet.empty()) unreadable("The workbook has no worksheet.");
    if (!strings.empty()) strings_.read(*package_, strings);
    if (!styles.empty()) styles_.read(*package_, styles);
    open_sheet(sheet);
}

// The sheet: its XML read up to its rows.

void XlsxSheet::open_sheet(const std::string& path) {
    sheet_stream_ = package_->open(path);
    xml_ = read_xml(*sheet_stream_);
    for (Node node; (node = xml_->next()) != Node::done;) {
        if (node == Node::start && is(*xml_, "sheetData")) return;
    }
    rows_ended_ = true;
}

void XlsxSheet::skip_element() {
    for (std::size_t depth = 1; depth > 0;) {
        const Node node = xml_->next();
        if (node == Node::start) ++depth;
        if (node == Node::end) --depth;
        if (node == Node::done) return;
    }
}

std::size_t XlsxSheet::next_row_start() {
    if (rows_ended_) return 0;
    for (;;) {
        const Node node = xml_->next();
        if (node == Node::start && is(*xml_, "row")) {
            std::size_t row = last_row_ + 1;
            if (const auto r = xml_->attribute({}, "r")) {
                const auto number = whole_number<std::size_t>(*r);
                if (!number || *number == 0)
                    unreadable("The sheet has a row numbered " + quoted(*r) + ".");
                row = *number;
            }
            if (row <= last_row_) {
                unreadable("Row " + std::to_string(row) + " of the sheet comes after row " +
                           std::to_string(last_row_) + ".");
            }
            return last_row_ = row;
        }
        if (node == Node::start) skip_element();
        if (node == Node::end || node == Node::done) {
            // The rest is read for the archive to check the part whole.
            while (xml_->next() != Node::done) {
            }
            rows_ended_ = true;
            return 0;
        }
    }
}

void XlsxSheet::read_cells(std::size_t row) {
    row_->clear();
    std::size_t next_column = 0;
    for (;;) {
        const Node node = xml_->next();
        if (node == Node::start && is(*xml_, "c")) {
            read_cell(row, next_column);
        } else if (node == Node::start) {
            skip_element();
        } else if (node == Node::end || node == Node::done) {
            return;
        }
    }
}

void XlsxSheet::read_cell(std::size_t row, std::size_t& next_column) {
    std::size_t column = next_column;
    if (const auto r = xml_->attribute({}, "r")) {
        std::size_t ignored = 0;
        if (!read_cell_name(*r, column, ignored)) {
            unreadable("The sheet has a cell named " + quoted(*r) + ".");
        }
        if (column < next_column && column < kSheetColumns) {
            unreadable("Cell " + cell_name(column, row) +
                       " of the sheet comes after a cell to its right.");
        }
    }
    next_column = column + 1;
    CellType type = CellType::number;
    if (const auto t = xml_->attribute({}, "t")) {
        static constexpr std::pair<std::string_view, CellType> kTypes[] = {
            {"n", CellType::number},
            {"s", CellType::shared},
            {"str", CellType::formula_string},
            {"inlineStr", CellType::inline_string},
            {"b", CellType::boolean},
            {"e", CellType::error},
            {"d", CellType::date}};
        const auto known = std::find_if(std::begin(kTypes), std::end(kTypes),
                                        [&](const auto& k) { return k.first == *t; });
        if (known == std::end(kTypes))
            cell_fault(row, column, "is of the unknown type " + quoted(*t));
        type = known->second;
    }
    unsigned style = 0;
    // An empty style is the first, as if none were named.
    if (const auto s = xml_->attribute({}, "s"); s && !s->empty()) {
        const auto number = whole_number<unsigned>(*s);
        if (!number) cell_fault(row, column, "names the style " + quoted(*s));
        style = *number;
    }

    // Its value: <v>, or the text of an inline string's <t>s, runs
    // included, phonetic runs left out; <f> tells of a formula.
    value_.clear();
    const bool escaped = type == CellType::inline_string || type == CellType::formula_string;
    EscapedText text;
    if (escaped) text.begin(value_);
    bool formula = false, value = false, collect = false;
    for (std::size_t depth = 0;;) {
        const Node node = xml_->next();
        if (node == Node::text) {
            if (!collect || value_.size() > kMaxCellText) continue;
            if (escaped) {
                text.append(xml_->text());
            } else {
                value_.append(xml_->text());
            }
        } else if (node == Node::start) {
            const std::string_view name = xml_->name();
            const bool main = is_main(xml_->ns());
            if (main && depth == 0 && (name == "v" || name == "is")) {
                value = true;
                collect = name == "v";
            } else if (main && depth > 0 && (name == "r" || name == "t")) {
                collect = name == "t";
            } else {
                formula = formula || (main && depth == 0 && name == "f");
                skip_element();
                continue;
            }
            ++depth;
        } else if (node == Node::end && depth > 0) {
            --depth;
            collect = false;
        } else {
            break;
        }
    }
    if (escaped) text.finish();
    take_cell(row, column, type, style, formula, value);
}

void XlsxSheet::take_cell(std::size_t row, std::size_t column, CellType type, unsigned style,
                          bool formula, bool value) {
    if (column >= kSheetColumns) return;
    const auto refuse = [&](CellRefusal::Kind kind, std::string detail) {
        row_->refuse(column, kind, std::move(detail));
    };
    if (formula && (recalculate_ || !value)) return refuse(CellRefusal::Kind::unsaved_formula, {});
    if (value_.empty()) return;
    // A style matters to numbers only.
    const auto shown = [&]() -> const CellFormat& {
        if (const CellFormat* format = styles_.format_of(style)) return *format;
        cell_fault(row, column,
                   "has the style " + std::to_string(style) + ", which the workbook does not have");
    };
    switch (type) {
        case CellType::shared: {
            const auto index = whole_number<std::size_t>(value_);
            if (!index || *index >= strings_.size()) {
                cell_fault(row, column,
                           "names the shared string " + quoted(value_) +
                               ", which the workbook does not have");
            }
            return row_->add(column, strings_[*index]);
        }
        case CellType::inline_string:
        case CellType::formula_string:
            return row_->add(column, value_);
        case CellType::boolean:
            if (value_ != "0" && value_ != "1") {
                cell_fault(row, column, "holds " + quoted(value_) + ", which is not TRUE or FALSE");
            }
            return row_->add(column, value_ == "1" ? "TRUE" : "FALSE");
        case CellType::error:
            return refuse(CellRefusal::Kind::error, value_);
        case CellType::date:
            return refuse(CellRefusal::Kind::number_format, shown().code);
        case CellType::number:
            break;
    }
    const CellFormat& style_shown = shown();
    if (const auto* refused = std::get_if<RefusedFormat>(&style_shown.format)) {
        return refuse(CellRefusal::Kind::number_format, refused->code);
    }
    const NumberFormat& format = std::get<NumberFormat>(style_shown.format);
    if (!format.digits && shown_as_stored(value_)) return row_->add(column, value_);
    const std::optional<double> number = parse_cell_number(value_);
    if (!number) cell_fault(row, column, "holds " + quoted(value_) + ", which is not a number");
    row_->add(column, shown_number(*number, format));
}

void XlsxSheet::cell_fault(std::size_t row, std::size_t column, const std::string& fault) const {
    unreadable("Cell " + cell_name(column, row) + " of the sheet " + fault + ".");
}

}  // namespace convert
