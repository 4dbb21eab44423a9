#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "containers/compound_file.h"
#include "containers/xml_reader.h"
#include "containers/zip_archive.h"
#include "text/ascii_text.h"
#include "text/utf8.h"
#include "workbooks/number_format.h"
#include "workbooks/sheet_row.h"
#include "workbooks/sheet_rows.h"
#include "workbooks/workbook_rows.h"

namespace convert {

namespace {

using Node = XmlReader::Node;

// The namespaces of a workbook's markup, as Excel writes it and in the
// strict form some writers use.
constexpr std::string_view kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kStrictMain = "http://purl.oclc.org/ooxml/spreadsheetml/main";
constexpr std::string_view kRelationIds =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kStrictRelationIds =
    "http://purl.oclc.org/ooxml/officeDocument/relationships";
constexpr std::string_view kRelationships =
    "http://schemas.openxmlformats.org/package/2006/relationships";

/// The most bytes the shared strings take, their text and index.
constexpr std::size_t kMaxSharedStrings = std::size_t{64} << 20;
// Bounds on what else is held, far past what spreadsheet programs write
// (Excel: 64 000 cell formats, format codes of 255 characters).
constexpr std::size_t kMaxRelationships = 100'000;
constexpr std::size_t kMaxRelationshipText = 8192;  // an id, type or target
constexpr std::size_t kMaxCellStyles = 100'000;
constexpr std::size_t kMaxNumberFormats = 100'000;
constexpr std::size_t kMaxFormatCode = 4096;
/// A cell's text kept once it is surely too long for a row: escapes
/// decoded later take no more than 13 bytes off it.
constexpr std::size_t kMaxCellText = kLongestRow + 16;
constexpr auto kNone = std::string_view::npos;

[[noreturn]] void unreadable(const std::string& reason) {
    throw WorkbookError(WorkbookError::Kind::unreadable, reason);
}

bool is_main(std::string_view ns) {
    return ns == kMain || ns == kStrictMain;
}

/// Whether the node is the start or end of the workbook element `name`.
bool is(const XmlReader& xml, std::string_view name) {
    return xml.name() == name && is_main(xml.ns());
}

std::string_view attribute(const XmlReader& xml, std::string_view name) {
    return xml.attribute({}, name).value_or(std::string_view{});
}

/// `text` as a whole number, all of it.
template <typename Number>
std::optional<Number> whole_number(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

/// `text` quoted for a message, cut after 40 bytes.
std::string quoted(std::string_view text) {
    return '"' + std::string(text.substr(0, 40)) + (text.size() > 40 ? "...\"" : "\"");
}

// References to cells, as A1 or XFD1048576: columns from 0, rows from 1.

/// Reads `ref` as a cell's reference; a column past the sheet's bound is kSheetColumns.
bool read_reference(std::string_view ref, std::size_t& column, std::size_t& row) {
    std::size_t at = 0;
    column = 0;
    // In either case, as spreadsheet programs read them.
    for (char c; at < ref.size() && (c = static_cast<char>(ref[at] & ~0x20)) >= 'A' && c <= 'Z';
         ++at) {
        if (at < 3) column = column * 26 + static_cast<std::size_t>(c - 'A' + 1);
    }
    if (at == 0) return false;
    column = at > 3 ? kSheetColumns : std::min(column - 1, kSheetColumns);
    const auto number = whole_number<std::size_t>(ref.substr(at));
    if (!number || *number == 0) return false;
    row = *number;
    return true;
}

// Excel's escapes: _xHHHH_ stands for the UTF-16 unit HHHH, for characters
// XML cannot hold (a CR is _x000D_), and _x005F_ for an underscore that
// would otherwise begin one.

constexpr int kNoEscape = -1;
constexpr int kCutShort = -2;  // the text ends where the escape may go on

int escape_at(std::string_view text, std::size_t at) {
    constexpr std::size_t kLength = 7;
    const std::size_t have = std::min(kLength, text.size() - at);
    int unit = 0;
    for (std::size_t i = 0; i < have; ++i) {
        const char c = text[at + i];
        if (i == 0 || i == 6) {
            if (c != '_') return kNoEscape;
        } else if (i == 1) {
            if (c != 'x') return kNoEscape;
        } else {
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) return kNoEscape;
            unit = unit * 16 + digit;
        }
    }
    return have < kLength ? kCutShort : unit;
}

/// Appends text to a string, its escapes decoded in place as they come
/// whole; an escape cut between two appends waits for the next.
class EscapedText {
public:
    void begin(std::string& out) {
        out_ = &out;
        pending_ = out.size();
    }
    void append(std::string_view text) {
        out_->append(text);
        decode(false);
    }
    /// The text has ended: what waits is no escape.
    void finish() { decode(true); }

private:
    void decode(bool last) {
        std::string& s = *out_;
        std::size_t read = s.find('_', pending_);
        if (read == kNone) {
            pending_ = s.size();
            return;
        }
        std::size_t write = read;  // decoded text is never longer
        while (read < s.size()) {
            const int unit = s[read] == '_' ? escape_at(s, read) : kNoEscape;
            if (unit == kCutShort && !last) break;
            if (unit < 0) {
                s[write++] = s[read++];
                continue;
            }
            std::size_t used = 7;
            char32_t c = static_cast<char32_t>(unit);
            if (c >= 0xD800 && c < 0xDC00) {
                // A character beyond the first 65536: two escapes.
                const int low = escape_at(s, read + used);
                if (low == kCutShort && !last) break;
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + static_cast<char32_t>(low - 0xDC00);
                    used += 7;
                } else {
                    c = 0xFFFD;
                }
            } else if (c >= 0xDC00 && c < 0xE000) {
                c = 0xFFFD;
            }
            scratch_.clear();
            append_utf8(scratch_, c);
            s.replace(write, scratch_.size(), scratch_);
            write += scratch_.size();
            read += used;
        }
        s.erase(write, read - write);
        pending_ = write;
    }

    std::string* out_ = nullptr;
    std::size_t pending_ = 0;  // the first byte not decoded yet
    std::string scratch_;      // a decoded character
};

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

/// Runs `work`, a failure of the zip or of a part's XML thrown as the
/// workbook's being unreadable.
template <typename Work>
auto workbook_errors(const std::string& part, Work work) {
    try {
        return work();
    } catch (const ZipError& e) {
        unreadable(e.what());
    } catch (const XmlError& e) {
        unreadable("The workbook's part " + part + " cannot be read: " + e.what());
    }
}

/// The part `target` names: from the root when it begins with '/', else
/// from `folder`; its %XX escapes decoded, its . and .. segments followed.
std::string part_named(std::string_view folder, std::string_view target) {
    std::string path = target.starts_with('/') ? "" : std::string(folder);
    for (std::size_t i = 0; i < target.size(); ++i) {
        unsigned byte = 0;
        if (target[i] == '%' && i + 2 < target.size() &&
            std::from_chars(target.data() + i + 1, target.data() + i + 3, byte, 16).ptr ==
                target.data() + i + 3) {
            path += static_cast<char>(byte);
            i += 2;
        } else {
            path += target[i];
        }
    }
    std::vector<std::string_view> segments;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        const std::string_view segment(path.data() + at, slash - at);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        at = slash + 1;
    }
    std::string resolved;
    for (const std::string_view segment : segments) {
        resolved.append(resolved.empty() ? "" : "/").append(segment);
    }
    return resolved;
}

class XlsxSheet final : public SheetReader {
public:
    explicit XlsxSheet(RandomAccessSource& file);
    std::uint64_t next(SheetRow& row) override;

private:
    /// How a cell style shows numbers, with its format's code as written.
    struct CellStyle {
        ExcelFormat format;
        std::string code;
    };
    struct Relationship {
        std::string id, type, target;
    };
    /// A part's relationships in their order, and by id (the first of each).
    struct Relationships {
        std::vector<Relationship> list;
        std::unordered_map<std::string_view, std::size_t> by_id;
    };
    enum class CellType { number, shared, inline_string, formula_string, boolean, error, date };

    // The workbook's parts.
    const ZipEntry* find_part(const std::string& path) const;
    /// Null for a part not `needed` that is missing.
    std::unique_ptr<ByteSource> open_part(const std::string& path, bool needed = true);
    /// Those of `part` ("" for the package's), their targets as part names.
    Relationships relationships(const std::string& part);
    void open_parts(RandomAccessSource& file);
    void read_shared_strings(const std::string& path);
    void read_styles(const std::string& path);
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

    std::unique_ptr<ZipArchive> archive_;
    std::string part_;          // the part being read, named in failures
    bool recalculate_ = false;  // formulas' saved values are placeholders
    std::string strings_;       // the shared strings, one after another
    std::vector<std::uint32_t> string_ends_;
    std::vector<CellStyle> formats_;     // each number format the styles use, once
    std::vector<std::uint32_t> styles_;  // each cell style's, in formats_

    std::unique_ptr<ByteSource> sheet_stream_;
    std::unique_ptr<XmlReader> xml_;
    std::size_t last_row_ = 0;  // the number of the last <row> met
    bool rows_ended_ = false;

    SheetRow* row_ = nullptr;  // being filled
    std::string value_;        // the cell's text as read
};

}  // namespace

std::unique_ptr<RowSource> xlsx_rows(RandomAccessSource& file) {
    return std::make_unique<SheetRows>(std::make_unique<XlsxSheet>(file));
}

XlsxSheet::XlsxSheet(RandomAccessSource& file) {
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
    workbook_errors(part_, [&] { open_parts(file); });
}

std::uint64_t XlsxSheet::next(SheetRow& row) {
    row_ = &row;
    return workbook_errors(part_, [&]() -> std::uint64_t {
        // Rows with nothing in them are passed over.
        for (std::size_t number; (number = next_row_start()) != 0;) {
            read_cells(number);
            if (!row.empty()) return number;
        }
        return 0;
    });
}

// The workbook's parts, found through the relationships of the package
// and of the workbook.

const ZipEntry* XlsxSheet::find_part(const std::string& path) const {
    // Part names are the same in any case.
    return archive_->find_ignoring_case(path);
}

std::unique_ptr<ByteSource> XlsxSheet::open_part(const std::string& path, bool needed) {
    const ZipEntry* entry = find_part(path);
    if (entry == nullptr) {
        if (!needed) return nullptr;
        unreadable("The workbook's part " + path + " is missing.");
    }
    part_ = path;
    return archive_->open(*entry);
}

XlsxSheet::Relationships XlsxSheet::relationships(const std::string& part) {
    const std::size_t name = part.rfind('/') + 1;
    const std::string folder = part.substr(0, name);
    Relationships found;
    const std::string path = folder + "_rels/" + part.substr(name) + ".rels";
    const auto stream = open_part(path, false);
    if (stream == nullptr) return found;
    const auto xml = read_xml(*stream);
    for (Node node; (node = xml->next()) != Node::done;) {
        if (node != Node::start || xml->name() != "Relationship" || xml->ns() != kRelationships ||
            attribute(*xml, "TargetMode") == "External") {
            continue;
        }
        const std::string_view id = attribute(*xml, "Id"), type = attribute(*xml, "Type"),
                               target = attribute(*xml, "Target");
        if (found.list.size() == kMaxRelationships) {
            unreadable("The workbook's part " + path + " holds more than " +
                       std::to_string(kMaxRelationships) + " relationships.");
        }
        if (std::max({id.size(), type.size(), target.size()}) > kMaxRelationshipText) {
            unreadable("The workbook's part " + path + " holds a relationship longer than " +
                       std::to_string(kMaxRelationshipText) + " bytes.");
        }
        found.list.push_back({std::string(id), std::string(type), part_named(folder, target)});
    }
    found.by_id.reserve(found.list.size());
    for (std::size_t i = 0; i < found.list.size(); ++i) found.by_id.emplace(found.list[i].id, i);
    return found;
}

void XlsxSheet::open_parts(RandomAccessSource& file) {
    archive_ = std::make_unique<ZipArchive>(file);
    std::string workbook;
    for (const Relationship& r : relationships("").list) {
        if (r.type.ends_with("/officeDocument")) {
            workbook = r.target;
            break;
        }
    }
    if (workbook.empty() || find_part(workbook) == nullptr) {
        unreadable("The zip archive holds no workbook.");
    }
    std::string sheet, strings, styles;
    const Relationships parts = relationships(workbook);
    for (const Relationship& r : parts.list) {
        if (strings.empty() && r.type.ends_with("/sharedStrings")) strings = r.target;
        if (styles.empty() && r.type.ends_with("/styles")) styles = r.target;
    }
    {
        const auto stream = open_part(workbook);
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
    if (!strings.empty()) read_shared_strings(strings);
    if (!styles.empty()) read_styles(styles);
    open_sheet(sheet);
}

void XlsxSheet::read_shared_strings(const std::string& path) {
    const auto stream = open_part(path);
    // Its text is no longer than its XML: room for it all at once, so that
    // the table never grows past its bound by copying itself.
    const std::uint64_t size = find_part(path)->size;
    strings_.reserve(std::min<std::uint64_t>(size, kMaxSharedStrings));
    const auto xml = read_xml(*stream);
    const auto check_size = [&](std::size_t more) {
        if (strings_.size() + more + string_ends_.size() * sizeof(std::uint32_t) >
            kMaxSharedStrings) {
            unreadable("Its table of shared strings is larger than 64 MB.");
        }
    };
    EscapedText text;
    int phonetic = 0;  // <rPh> runs open: their text is not shown
    bool in_string = false, in_text = false;
    for (Node node; (node = xml->next()) != Node::done;) {
        if (node == Node::text) {
            if (in_text) {
                check_size(xml->text().size());
                text.append(xml->text());
            }
            continue;
        }
        if (!is_main(xml->ns())) continue;
        const std::string_view name = xml->name();
        if (node == Node::start) {
            if (name == "si") {
                text.begin(strings_);
                in_string = true;
            } else if (name == "rPh") {
                ++phonetic;
            } else if (name == "t") {
                in_text = in_string && phonetic == 0;
            } else if (name == "sst") {
                // As many as it says, as far as its size and the bound allow.
                const auto count = whole_number<std::uint64_t>(attribute(*xml, "uniqueCount"));
                string_ends_.reserve(static_cast<std::size_t>(
                    std::min({count.value_or(0), size / 9, kMaxSharedStrings / 4})));
            }
        } else if (name == "t") {
            in_text = false;
        } else if (name == "rPh") {
            --phonetic;
        } else if (name == "si" && in_string) {
            in_string = false;
            text.finish();
            check_size(sizeof(std::uint32_t));
            string_ends_.push_back(static_cast<std::uint32_t>(strings_.size()));
        }
    }
}

void XlsxSheet::read_styles(const std::string& path) {
    const auto stream = open_part(path);
    const auto xml = read_xml(*stream);
    const auto format_id = [&] {
        const std::string_view id = attribute(*xml, "numFmtId");
        const auto number = whole_number<unsigned>(id);
        if (!number && !id.empty()) {
            unreadable("The workbook's part " + path + " names the number format " + quoted(id) +
                       ".");
        }
        return number.value_or(0);
    };
    const auto too_many = [&](std::size_t bound, const char* what) {
        unreadable("The workbook's part " + path + " holds more than " + std::to_string(bound) +
                   " " + what + ".");
    };
    std::unordered_map<unsigned, std::string> codes;  // the workbook's own formats, by id
    std::vector<unsigned> formats;                    // of each cell style
    bool cell_styles = false;
    for (Node node; (node = xml->next()) != Node::done;) {
        if (node == Node::text || !is_main(xml->ns())) continue;
        if (is(*xml, "cellXfs")) {
            cell_styles = node == Node::start;
        } else if (node == Node::start && xml->name() == "numFmt") {
            const std::string_view code = attribute(*xml, "formatCode");
            if (codes.size() == kMaxNumberFormats) too_many(kMaxNumberFormats, "number formats");
            if (code.size() > kMaxFormatCode) {
                unreadable("The workbook's part " + path + " holds a number format longer than " +
                           std::to_string(kMaxFormatCode) + " bytes.");
            }
            codes.emplace(format_id(), code);
        } else if (node == Node::start && xml->name() == "xf" && cell_styles) {
            if (formats.size() == kMaxCellStyles) too_many(kMaxCellStyles, "cell styles");
            formats.push_back(format_id());
        }
    }
    // Each format read once, however many styles use it.
    std::unordered_map<unsigned, std::uint32_t> read;  // format id, place in formats_
    styles_.reserve(formats.size());
    for (const unsigned id : formats) {
        const auto [known, added] = read.emplace(id, static_cast<std::uint32_t>(formats_.size()));
        styles_.push_back(known->second);
        if (!added) continue;
        if (const auto own = codes.find(id); own != codes.end()) {
            formats_.push_back({excel_number_format(own->second), own->second});
            continue;
        }
        ExcelFormat format = excel_builtin_number_format(id);
        const auto* refused = std::get_if<RefusedFormat>(&format);
        std::string code(refused != nullptr ? refused->code : excel_builtin_format_code(id));
        formats_.push_back({std::move(format), std::move(code)});
    }
}

// The sheet: its XML read up to its rows.

void XlsxSheet::open_sheet(const std::string& path) {
    sheet_stream_ = open_part(path);
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
        if (!read_reference(*r, column, ignored)) {
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
    // A style matters to numbers only; a workbook without styles has General.
    static const CellStyle kGeneral{NumberFormat{}, "General"};
    const auto shown = [&]() -> const CellStyle& {
        if (style < styles_.size() || (style == 0 && styles_.empty())) {
            return styles_.empty() ? kGeneral : formats_[styles_[style]];
        }
        cell_fault(row, column,
                   "has the style " + std::to_string(style) + ", which the workbook does not have");
    };
    switch (type) {
        case CellType::shared: {
            const auto index = whole_number<std::size_t>(value_);
            if (!index || *index >= string_ends_.size()) {
                cell_fault(row, column,
                           "names the shared string " + quoted(value_) +
                               ", which the workbook does not have");
            }
            const std::uint32_t start = *index == 0 ? 0 : string_ends_[*index - 1];
            return row_->add(
                column, std::string_view(strings_).substr(start, string_ends_[*index] - start));
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
    const CellStyle& style_shown = shown();
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
