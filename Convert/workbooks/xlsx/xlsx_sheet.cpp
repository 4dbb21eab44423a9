#include "workbooks/xlsx/xlsx_sheet.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "containers/compound_file.h"
#include "containers/xml/xml_reader.h"
#include "workbooks/number_format.h"
#include "workbooks/sheet_row.h"
#include "workbooks/sheet_xml/sheet_xml.h"
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

/// The usual form of a row: cells with values, formulas and inline strings.
UsualRow usual_row() {
    std::vector<XmlName> rows, inside;
    for (const std::string_view ns : {kMain, kStrictMain}) {
        rows.push_back({ns, "row"});
        for (const std::string_view name : {"c", "v", "f", "is", "t"}) inside.push_back({ns, name});
    }
    return UsualRow(rows, inside);
}

class XlsxSheet final : public SheetReader, XmlHandler {
public:
    XlsxSheet(RandomAccessSource& file, std::string& part, SheetReading reading)
        : part_(part), reading_(reading) {
        open(file);
    }
    RowBlock next(SheetRow& row) override;

private:
    enum class CellType { number, shared, inline_string, formula_string, boolean, error, date };
    /// Where in the sheet's rows the parser stands.
    enum class At { rows, row, cell, after };

    // The workbook's parts.
    void open(RandomAccessSource& file);
    void open_parts(RandomAccessSource& file);
    void open_sheet(const std::string& path);

    // The sheet's rows, handed on by the parser.
    void start(std::string_view ns, std::string_view name,
               const XmlAttributes& attributes) override;
    void end(std::string_view ns, std::string_view name) override;
    void text(std::string_view text) override;
    void start_row(const XmlAttributes& attributes);
    void start_cell(const XmlAttributes& attributes);
    void start_in_cell(std::string_view ns, std::string_view name);
    void take_cell();
    [[noreturn]] void cell_fault(const std::string& fault) const;

    std::string& part_;  // the part being read, named in failures
    SheetReading reading_;
    std::unique_ptr<Package> package_;
    bool recalculate_ = false;  // formulas' saved values are placeholders
    SharedStrings strings_;
    Styles styles_;

    std::unique_ptr<SheetBytes> sheet_bytes_;
    std::unique_ptr<XmlReader> xml_;  // the sheet up to its rows,
    std::optional<SheetXml> rows_;    // and then its rows
    At at_ = At::after;
    std::size_t skipped_ = 0;    // elements open within one passed over
    std::size_t row_ = 0;        // the number of the last <row> met
    bool row_ended_ = false;     // since the parser last ran
    SheetRow* cells_ = nullptr;  // the row being filled

    // The cell being read.
    std::size_t column_ = 0, next_column_ = 0;
    CellType type_ = CellType::number;
    unsigned style_ = 0;
    std::size_t depth_ = 0;  // of <is> and its runs
    bool formula_ = false, value_seen_ = false, collect_ = false, escaped_ = false;
    EscapedText escapes_;
    std::string value_;  // the cell's text as read
};

}  // namespace

std::unique_ptr<SheetReader> xlsx_sheet(RandomAccessSource& file, std::string& part,
                                        SheetReading reading) {
    return std::make_unique<XlsxSheet>(file, part, reading);
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
    cells_ = &row;
    // Rows with nothing in them are passed over.
    while (at_ != At::after) {
        row_ended_ = false;
        if (!rows_->run(*this, at_ == At::rows && skipped_ == 0)) at_ = At::after;
        if (row_ended_ && !row.empty()) return {row_, 1};
    }
    // The rest is read for the archive to check the part whole.
    if (rows_) {
        rows_->finish();
        rows_.reset();
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

// The sheet: its XML read up to its rows, which the parser then hands on.

void XlsxSheet::open_sheet(const std::string& path) {
    sheet_bytes_ = std::make_unique<SheetBytes>(package_->open(path));
    sheet_bytes_->by_rows();
    xml_ = read_xml(*sheet_bytes_);
    for (Node node; (node = xml_->next()) != Node::done;) {
        if (node == Node::start && is(*xml_, "sheetData")) {
            rows_.emplace(*sheet_bytes_, hand_over(*xml_, *this), usual_row(), reading_);
            at_ = At::rows;
            return;
        }
    }
}

void XlsxSheet::start(std::string_view ns, std::string_view name, const XmlAttributes& attributes) {
    if (skipped_ > 0) {
        ++skipped_;
        return;
    }
    switch (at_) {
        case At::rows:
            if (name == "row" && is_main(ns)) return start_row(attributes);
            break;
        case At::row:
            if (name == "c" && is_main(ns)) return start_cell(attributes);
            break;
        case At::cell:
            return start_in_cell(ns, name);
        case At::after:
            return;
    }
    skipped_ = 1;
}

void XlsxSheet::end(std::string_view, std::string_view) {
    if (skipped_ > 0) {
        --skipped_;
        return;
    }
    switch (at_) {
        case At::rows:
            at_ = At::after;
            rows_->pause();
            return;
        case At::row:
            at_ = At::rows;
            row_ended_ = true;
            rows_->pause();
            return;
        case At::cell:
            if (depth_ > 0) {
                --depth_;
                collect_ = false;
                return;
            }
            at_ = At::row;
            return take_cell();
        case At::after:
            return;
    }
}

void XlsxSheet::text(std::string_view text) {
    if (!collect_ || skipped_ > 0 || value_.size() > kMaxCellText) return;
    if (escaped_) {
        escapes_.append(text);
    } else {
        value_.append(text);
    }
}

void XlsxSheet::start_row(const XmlAttributes& attributes) {
    std::size_t row = row_ + 1;
    if (const auto r = attributes.find({}, "r")) {
        const auto number = whole_number<std::size_t>(*r);
        if (!number || *number == 0) unreadable("The sheet has a row numbered " + quoted(*r) + ".");
        row = *number;
    }
    if (row <= row_) {
        unreadable("Row " + std::to_string(row) + " of the sheet comes after row " +
                   std::to_string(row_) + ".");
    }
    row_ = row;
    at_ = At::row;
    cells_->clear();
    next_column_ = 0;
}

void XlsxSheet::start_cell(const XmlAttributes& attributes) {
    at_ = At::cell;
    column_ = next_column_;
    if (const auto r = attributes.find({}, "r")) {
        std::size_t ignored = 0;
        if (!read_cell_name(*r, column_, ignored)) {
            unreadable("The sheet has a cell named " + quoted(*r) + ".");
        }
        if (column_ < next_column_ && column_ < kSheetColumns) {
            unreadable("Cell " + cell_name(column_, row_) +
                       " of the sheet comes after a cell to its right.");
        }
    }
    next_column_ = column_ + 1;
    type_ = CellType::number;
    if (const auto t = attributes.find({}, "t")) {
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
        if (known == std::end(kTypes)) cell_fault("is of the unknown type " + quoted(*t));
        type_ = known->second;
    }
    style_ = 0;
    // An empty style is the first, as if none were named.
    if (const auto s = attributes.find({}, "s"); s && !s->empty()) {
        const auto number = whole_number<unsigned>(*s);
        if (!number) cell_fault("names the style " + quoted(*s));
        style_ = *number;
    }
    value_.clear();
    escaped_ = type_ == CellType::inline_string || type_ == CellType::formula_string;
    if (escaped_) escapes_.begin(value_);
    formula_ = value_seen_ = collect_ = false;
    depth_ = 0;
}

// A cell's value: <v>, or the text of an inline string's <t>s, runs
// included, phonetic runs left out; <f> tells of a formula.
void XlsxSheet::start_in_cell(std::string_view ns, std::string_view name) {
    if (depth_ == 0 && (name == "v" || name == "is") && is_main(ns)) {
        value_seen_ = true;
        collect_ = name == "v";
    } else if (depth_ > 0 && (name == "r" || name == "t") && is_main(ns)) {
        collect_ = name == "t";
    } else {
        formula_ = formula_ || (depth_ == 0 && name == "f" && is_main(ns));
        skipped_ = 1;
        return;
    }
    ++depth_;
}

void XlsxSheet::take_cell() {
    if (escaped_) escapes_.finish();
    if (column_ >= kSheetColumns) return;
    const std::size_t column = column_;
    const auto refuse = [&](CellRefusal::Kind kind, std::string detail) {
        cells_->refuse(column, kind, std::move(detail));
    };
    if (formula_ && (recalculate_ || !value_seen_))
        return refuse(CellRefusal::Kind::unsaved_formula, {});
    if (value_.empty()) return;
    // A style matters to numbers only.
    const auto shown = [&]() -> const CellFormat& {
        if (const CellFormat* format = styles_.format_of(style_)) return *format;
        cell_fault("has the style " + std::to_string(style_) +
                   ", which the workbook does not have");
    };
    switch (type_) {
        case CellType::shared: {
            const auto index = whole_number<std::size_t>(value_);
            if (!index || *index >= strings_.size()) {
                cell_fault("names the shared string " + quoted(value_) +
                           ", which the workbook does not have");
            }
            return cells_->add(column, strings_[*index]);
        }
        case CellType::inline_string:
        case CellType::formula_string:
            return cells_->add(column, value_);
        case CellType::boolean:
            if (value_ != "0" && value_ != "1") {
                cell_fault("holds " + quoted(value_) + ", which is not TRUE or FALSE");
            }
            return cells_->add(column, value_ == "1" ? "TRUE" : "FALSE");
        case CellType::error:
            return refuse(CellRefusal::Kind::error, value_);
        case CellType::date:
            return refuse(CellRefusal::Kind::number_format, shown().code);
        case CellType::number:
            break;
    }
    const CellFormat& style_shown = shown();
    if (!style_shown.shown) return refuse(CellRefusal::Kind::number_format, style_shown.code);
    const NumberFormat& format = *style_shown.shown;
    if (!format.digits && general_shows_as_stored(value_)) return cells_->add(column, value_);
    const std::optional<double> number = parse_cell_number(value_);
    if (!number) cell_fault("holds " + quoted(value_) + ", which is not a number");
    cells_->add(column, shown_number(*number, format));
}

void XlsxSheet::cell_fault(const std::string& fault) const {
    unreadable("Cell " + cell_name(column_, row_) + " of the sheet " + fault + ".");
}

}  // namespace convert
