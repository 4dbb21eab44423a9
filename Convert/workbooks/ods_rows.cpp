#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "containers/xml_reader.h"
#include "containers/zip_archive.h"
#include "text/utf8.h"
#include "workbooks/number_format.h"
#include "workbooks/sheet_row.h"
#include "workbooks/sheet_rows.h"
#include "workbooks/workbook_rows.h"

namespace convert {

namespace {

using Node = XmlReader::Node;

constexpr std::string_view kOffice = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr std::string_view kTable = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kText = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view kStyle = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
constexpr std::string_view kNumber = "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0";
constexpr std::string_view kDraw = "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";
constexpr std::string_view kFo = "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0";
constexpr std::string_view kManifest = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0";
// LibreOffice's own: error results, and min-decimal-places before OpenDocument had it.
constexpr std::string_view kCalcExt =
    "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";
constexpr std::string_view kLoExt =
    "urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0";

constexpr std::string_view kSpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";

/// The most rows a sheet has (LibreOffice's largest sheets): rows with
/// cells past it cannot be a sheet's.
constexpr std::uint64_t kSheetRows = std::uint64_t{1} << 24;
/// White space that a paragraph's text collapses to one space.
constexpr std::string_view kWhiteSpace = " \t\n\r";
// Bounds on the styles held, far past what spreadsheet programs write.
constexpr std::size_t kMaxStyles = 100'000;  // of each kind
constexpr std::size_t kMaxStyleName = 1024;  // bytes
constexpr std::size_t kMaxConditions = 64;   // of a data style, kept for its code
constexpr std::size_t kMaxStyleCode = SheetRow::kLongestRefusal + 4;  // as much as a message shows

[[noreturn]] void unreadable(const std::string& reason) {
    throw WorkbookError(WorkbookError::Kind::unreadable, reason);
}

/// A count as OpenDocument writes one, at least `least`, taken as at most
/// `most`; `what` names it in the error.
std::uint64_t count_of(std::string_view text, std::string_view what, std::uint64_t most,
                       std::uint64_t least = 0) {
    std::uint64_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error == std::errc::result_out_of_range) return most;
    if (error != std::errc{} || end != text.data() + text.size() || count < least) {
        unreadable("The workbook holds " + std::string(what) + " \"" +
                   std::string(text.substr(0, 32)) + "\", which is not a count.");
    }
    return std::min(count, most);
}

/// The column's name as a spreadsheet writes it: A, Z, AA...
/// A part of the workbook read as XML.
class Part {
public:
    Part(const ZipArchive& zip, const ZipEntry& entry)
        : input_(zip.open(entry)), xml_(read_xml(*input_)) {}

    XmlReader& xml() { return *xml_; }
    bool at(std::string_view ns, std::string_view name) const {
        return xml_->name() == name && xml_->ns() == ns;
    }
    std::optional<std::string_view> attribute(std::string_view ns, std::string_view name) const {
        return xml_->attribute(ns, name);
    }
    /// Reads the root element's start: whether it is (ns, name).
    bool root(std::string_view ns, std::string_view name) {
        return xml_->next() == Node::start && at(ns, name);
    }
    /// Reads up to the next child of the element being read: true at its
    /// start, false at the end of the element.
    bool next_child() {
        for (;;) {
            const Node node = next_node();
            if (node != Node::text) return node == Node::start;
        }
    }
    /// Reads to the end of the element just started; whether it held elements.
    bool skip() {
        bool held = false;
        for (std::size_t depth = 1; depth > 0;) {
            const Node node = next_node();
            held = held || node == Node::start;
            if (node == Node::start) ++depth;
            if (node == Node::end) --depth;
        }
        return held;
    }
    /// The text of the element just started, to its end, at most `most` bytes.
    std::string text(std::size_t most = 256) {
        std::string text;
        for (std::size_t depth = 1; depth > 0;) {
            const Node node = next_node();
            if (node == Node::text) text.append(xml_->text().substr(0, most - text.size()));
            if (node == Node::start) ++depth;
            if (node == Node::end) --depth;
        }
        return text;
    }
    /// Reads the part's bytes to their end, unparsed: only there does the
    /// archive check them whole (their size and CRC-32), so that a damaged
    /// part is never taken for what it holds.
    void finish() {
        std::vector<char> block(64 << 10);
        while (input_->read(block.data(), block.size()) != 0) {
        }
    }
    /// The next node inside the element being read.
    Node next_node() {
        const Node node = xml_->next();
        if (node == Node::done) throw XmlError("the document ends inside an element.");
        return node;
    }

private:
    std::unique_ptr<ByteSource> input_;
    std::unique_ptr<XmlReader> xml_;
};

/// A number style as a cell shows numbers by it.
struct DataStyle {
    /// How Convert shows numbers by it: General or fixed digits; none when
    /// it does not.
    std::optional<NumberFormat> shown;
    std::string code;  // as close to the code the user set as its parts tell, conditions left out
    std::vector<std::pair<std::string, std::string>> conditions;  // each condition and its style
};

struct CellStyle {
    std::string parent;
    std::optional<std::string> data_style;
};

/// Heterogeneous lookup: a name read finds its style without a copy.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
        return std::hash<std::string_view>{}(name);
    }
};
template <class Value>
using ByName = std::unordered_map<std::string, Value, NameHash, std::equal_to<>>;

/// A count attribute of the element just started, at most kMostDigits.
std::optional<std::size_t> digits_of(const Part& part, std::string_view ns, std::string_view name) {
    const auto value = part.attribute(ns, name);
    if (!value) return std::nullopt;
    return count_of(*value, "a digit count", kMostDigits + 1);
}

/// The code of a part that places digits: 0.00, #,##0, #.
std::string digits_code(std::size_t integers, bool grouping, std::optional<std::size_t> decimals,
                        std::size_t min_decimals) {
    std::string integer(std::min(integers, kMostDigits), '0');
    if (grouping && integer.size() < 4) integer.insert(0, 4 - integer.size(), '#');
    if (integer.empty()) integer = "#";
    std::string code;
    for (std::size_t i = 0; i < integer.size(); ++i) {
        if (grouping && i > 0 && (integer.size() - i) % 3 == 0) code += ',';
        code += integer[i];
    }
    const std::size_t places = std::min(std::max(decimals.value_or(0), min_decimals), kMostDigits);
    if (places > 0) {
        code.append(1, '.').append(std::min(min_decimals, places), '0');
        code.append(places - std::min(min_decimals, places), '#');
    }
    return code;
}

/// Reads a number:number part to its end, appending its code; the format
/// when Convert shows numbers by it.
std::optional<NumberFormat> number_part(Part& part, std::string& code) {
    const std::optional<std::size_t> decimals = digits_of(part, kNumber, "decimal-places");
    std::optional<std::size_t> min_decimals = digits_of(part, kNumber, "min-decimal-places");
    if (!min_decimals) min_decimals = digits_of(part, kLoExt, "min-decimal-places");
    const std::size_t integers = digits_of(part, kNumber, "min-integer-digits").value_or(0);
    const bool grouping = part.attribute(kNumber, "grouping") == "true";
    const auto factor = part.attribute(kNumber, "display-factor");
    auto blank = part.attribute(kNumber, "max-blank-integer-digits");
    if (!blank) blank = part.attribute(kLoExt, "max-blank-integer-digits");
    // Digits shown otherwise: a decimal replacement (1.--), scaled, blanks for zeros.
    bool plain = !part.attribute(kNumber, "decimal-replacement") && (!factor || *factor == "1") &&
                 (!blank || *blank == "0") && decimals.value_or(0) <= kMostDigits &&
                 min_decimals.value_or(0) <= kMostDigits && integers <= kMostDigits;
    // Text embedded among the digits (0-00).
    plain = !part.skip() && plain;
    if (!decimals) {
        // No decimal places set: as many as the number needs, General's.
        if (!grouping && integers <= 1) {
            code += "General";
            return plain ? std::optional<NumberFormat>(NumberFormat{}) : std::nullopt;
        }
        code += digits_code(integers, grouping, std::nullopt, 0);
        return std::nullopt;
    }
    code += digits_code(integers, grouping, decimals, min_decimals.value_or(*decimals));
    if (!plain) return std::nullopt;
    return NumberFormat{FixedDigits{static_cast<std::uint8_t>(integers),
                                    static_cast<std::uint8_t>(min_decimals.value_or(*decimals)),
                                    static_cast<std::uint8_t>(*decimals), grouping}};
}

/// A literal text in a code: quoted when it holds letters or digits.
void append_literal(std::string& code, std::string_view text) {
    const bool quoted = std::any_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '"';
    });
    if (quoted) code += '"';
    code += text;
    if (quoted) code += '"';
}

/// The code of a date, time, fraction, exponent or other part of a style.
std::string part_code(const Part& part, std::string_view name, bool elapsed_hours) {
    const bool is_long = part.attribute(kNumber, "style") == "long";
    const auto form = [&](const char* short_form, const char* long_form) {
        return std::string(is_long ? long_form : short_form);
    };
    const auto decimals = [&] {
        const std::size_t places = digits_of(part, kNumber, "decimal-places").value_or(0);
        return places == 0 ? std::string() : "." + std::string(std::min(places, kMostDigits), '0');
    };
    if (name == "day") return form("D", "DD");
    if (name == "month") {
        if (part.attribute(kNumber, "textual") == "true") return form("MMM", "MMMM");
        return form("M", "MM");
    }
    if (name == "year") return form("YY", "YYYY");
    if (name == "day-of-week") return form("DDD", "DDDD");
    if (name == "era") return form("G", "GGG");
    if (name == "quarter") return form("Q", "QQ");
    if (name == "week-of-year") return "WW";
    if (name == "hours") return elapsed_hours ? "[" + form("H", "HH") + "]" : form("H", "HH");
    if (name == "minutes") return form("M", "MM");
    if (name == "seconds") return form("S", "SS") + decimals();
    if (name == "am-pm") return "AM/PM";
    if (name == "boolean") return "BOOLEAN";
    if (name == "text-content") return "@";
    const std::size_t integers = digits_of(part, kNumber, "min-integer-digits").value_or(0);
    if (name == "scientific-number") {
        const std::size_t places = digits_of(part, kNumber, "decimal-places").value_or(0);
        const std::size_t exponent = digits_of(part, kNumber, "min-exponent-digits").value_or(1);
        return digits_code(std::max<std::size_t>(integers, 1),
                           part.attribute(kNumber, "grouping") == "true", places, places) +
               "E+" + std::string(std::clamp<std::size_t>(exponent, 1, kMostDigits), '0');
    }
    if (name == "fraction") {
        const auto places = [&](std::string_view attribute) {
            const std::size_t digits = digits_of(part, kNumber, attribute).value_or(1);
            return std::string(std::clamp<std::size_t>(digits, 1, kMostDigits), '?');
        };
        std::string code = part.attribute(kNumber, "min-integer-digits")
                               ? digits_code(integers, false, 0, 0) + " "
                               : "";
        code += places("min-numerator-digits") + "/";
        const auto denominator = part.attribute(kNumber, "denominator-value");
        return code + (denominator ? std::string(denominator->substr(0, 16))
                                   : places("min-denominator-digits"));
    }
    return {};
}

/// The colour a style shows its numbers in, by the name a code gives it.
std::string_view colour_name(std::string_view rgb) {
    static constexpr std::pair<std::string_view, std::string_view> kColours[] = {
        {"#000000", "BLACK"}, {"#0000ff", "BLUE"},    {"#00ff00", "GREEN"},  {"#00ffff", "CYAN"},
        {"#ff0000", "RED"},   {"#ff00ff", "MAGENTA"}, {"#ffff00", "YELLOW"}, {"#ffffff", "WHITE"},
    };
    std::string lower(rgb.substr(0, 7));
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'F' ? c | 0x20 : c);
    for (const auto& [code, name] : kColours) {
        if (code == lower) return name;
    }
    return {};
}

/// Reads a data style (number:number-style, number:date-style...) to its end.
DataStyle read_data_style(Part& part, std::string_view element) {
    DataStyle style;
    const bool elapsed_hours = part.attribute(kNumber, "truncate-on-overflow") == "false";
    std::optional<NumberFormat> number;
    std::size_t parts = 0;
    std::string_view colour;
    while (part.next_child()) {
        ++parts;
        const std::string_view ns = part.xml().ns();
        const std::string_view name = part.xml().name();
        if (ns == kStyle && name == "map") {
            std::string_view condition = part.attribute(kStyle, "condition").value_or("");
            if (condition.starts_with("value()")) condition.remove_prefix(7);
            if (style.conditions.size() < kMaxConditions) {
                style.conditions.emplace_back(condition.substr(0, 64),
                                              part.attribute(kStyle, "apply-style-name")
                                                  .value_or("")
                                                  .substr(0, kMaxStyleName));
            }
            part.skip();
        } else if (ns == kStyle && name == "text-properties") {
            colour = colour_name(part.attribute(kFo, "color").value_or(""));
            part.skip();
        } else if (ns != kNumber) {
            part.skip();
        } else if (name == "number") {
            number = number_part(part, style.code);
        } else if (name == "text") {
            append_literal(style.code, part.text());
        } else if (name == "currency-symbol") {
            style.code += part.text();
        } else if (name == "fill-character") {
            style.code += "*" + part.text();
        } else {
            style.code += part_code(part, name, elapsed_hours);
            part.skip();
        }
    }
    // Only a style of digits alone, no colour, text or condition, shows as Convert does.
    if (element == "number-style" && parts == 1) style.shown = number;
    // Only a message shows it, cut.
    if (style.code.size() > kMaxStyleCode) style.code.resize(kMaxStyleCode);
    if (!colour.empty()) style.code.insert(0, "[" + std::string(colour) + "]");
    return style;
}

/// The code that names a value type shown otherwise than by digits, for a
/// cell whose style does not say more; "" for the other types.
std::string_view usual_code(std::string_view type) {
    if (type == "percentage") return "0%";
    if (type == "currency") return "#,##0.00";
    if (type == "date") return "YYYY-MM-DD";
    if (type == "time") return "HH:MM:SS";
    return {};
}

/// Runs `work`, saying why when the workbook, or its `part` being read, is damaged.
template <class Work>
auto guarded(const std::string_view& part, Work work) -> decltype(work()) {
    try {
        return work();
    } catch (const XmlError& e) {
        unreadable("The workbook's " + std::string(part) + " is damaged: " + e.what());
    } catch (const ZipError& e) {
        unreadable(e.what());
    }
}

}  // namespace

// The workbook's small parts are read whole when it is opened: its type, its
// manifest, its styles. content.xml is then read a row at a time, up to the
// first sheet's end; a row is kept until all its copies are handed on.
namespace {

class OdsSheet final : public SheetReader {
public:
    explicit OdsSheet(RandomAccessSource& file) {
        guarded(part_, [&] { open(file); });
    }

    std::uint64_t next(SheetRow& row) override {
        return guarded(part_, [&] { return next_copy(row); });
    }

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
        if (const ZipEntry* entry = zip_->find("mimetype")) {
            part_ = "mimetype";
            const auto input = zip_->open(*entry);
            std::string type(100, '\0');  // enough to tell, and to show
            std::size_t size = 0;
            for (std::size_t read = 1; read != 0 && size < type.size(); size += read) {
                read = input->read(type.data() + size, type.size() - size);
            }
            type.resize(size);
            if (type != kSpreadsheetType) {
                unreadable("The file is not an OpenDocument spreadsheet: its type is \"" + type +
                           "\".");
            }
        }
        if (encrypted()) {
            throw WorkbookError(WorkbookError::Kind::encrypted,
                                "The workbook is protected by a password.");
        }
        const ZipEntry* content = zip_->find("content.xml");
        if (content == nullptr) {
            unreadable("The file holds no content.xml: it is not an OpenDocument spreadsheet.");
        }
        if (const ZipEntry* styles = zip_->find("styles.xml")) {
            part_ = "styles.xml";
            Part part(*zip_, *styles);
            if (!part.root(kOffice, "document-styles"))
                unreadable("The workbook's styles.xml holds no styles.");
            while (part.next_child()) {
                if (part.at(kOffice, "styles") || part.at(kOffice, "automatic-styles")) {
                    read_styles(part, part.at(kOffice, "styles"));
                } else {
                    part.skip();
                }
            }
            part.finish();
        }
        part_ = "content.xml";
        content_.emplace(*zip_, *content);
        find_first_table();
    }

    /// Whether the manifest gives the content, or the whole package, a password.
    bool encrypted() {
        const ZipEntry* entry = zip_->find("META-INF/manifest.xml");
        if (entry == nullptr) return false;
        part_ = "META-INF/manifest.xml";
        Part manifest(*zip_, *entry);
        if (!manifest.root(kManifest, "manifest")) return false;
        while (manifest.next_child()) {
            const std::string_view path = manifest.attribute(kManifest, "full-path").value_or("");
            const bool content = path == "content.xml" || path == "encrypted-package";
            while (manifest.next_child()) {
                if (content && manifest.at(kManifest, "encryption-data")) return true;
                manifest.skip();
            }
        }
        manifest.finish();
        return false;
    }

    /// Reads the styles in office:styles or office:automatic-styles; those of
    /// the same name read before stay unless `replace`.
    void read_styles(Part& part, bool replace) {
        while (part.next_child()) {
            const std::string_view name = part.attribute(kStyle, "name").value_or("");
            const std::string_view parent =
                part.attribute(kStyle, "parent-style-name").value_or("");
            const bool cells = part.attribute(kStyle, "family") == "table-cell";
            std::optional<std::string> data_style;
            if (const auto data = part.attribute(kStyle, "data-style-name")) data_style = *data;
            if (std::max({name.size(), parent.size(), data_style.value_or("").size()}) >
                kMaxStyleName) {
                unreadable("The workbook's " + std::string(part_) + " names a style in more than " +
                           std::to_string(kMaxStyleName) + " bytes.");
            }
            const auto bound = [&](std::size_t held, const char* what) {
                if (held < kMaxStyles) return;
                unreadable("The workbook's " + std::string(part_) + " holds more than " +
                           std::to_string(kMaxStyles) + " " + what + ".");
            };
            if (part.at(kStyle, "style") && cells) {
                bound(cell_styles_.size(), "cell styles");
                CellStyle style{std::string(parent), std::move(data_style)};
                if (replace) {
                    cell_styles_.insert_or_assign(std::string(name), std::move(style));
                } else {
                    cell_styles_.try_emplace(std::string(name), std::move(style));
                }
                part.skip();
            } else if (part.at(kStyle, "default-style") && cells) {
                if (data_style) default_data_style_ = std::move(data_style);
                part.skip();
            } else if (part.xml().ns() == kNumber && part.xml().name().ends_with("-style")) {
                bound(data_styles_.size(), "number styles");
                const std::string key(name);
                const std::string element(part.xml().name());
                DataStyle style = read_data_style(part, element);
                if (replace) {
                    data_styles_.insert_or_assign(key, std::move(style));
                } else {
                    data_styles_.try_emplace(key, std::move(style));
                }
            } else {
                part.skip();
            }
        }
    }

    /// Reads content.xml up to the first sheet's first row or column.
    void find_first_table() {
        Part& part = *content_;
        if (!part.root(kOffice, "document-content")) unreadable(no_spreadsheet());
        while (part.next_child()) {
            if (part.at(kOffice, "automatic-styles")) {
                read_styles(part, true);
            } else if (part.at(kOffice, "body")) {
                resolve_formats();
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

    /// The data style a cell style shows numbers by, up its parents; null for General.
    const DataStyle* data_style_named(const std::string& name) const {
        const auto found = data_styles_.find(name);
        return found == data_styles_.end() ? nullptr : &found->second;
    }

    /// Gives each cell style the data style it shows numbers by, up its
    /// parents, each style's walked once; null for General. A style among a
    /// loop of parents has the default's.
    void resolve_formats() {
        static const DataStyle kResolving;
        const DataStyle* const fallback =
            default_data_style_ ? data_style_named(*default_data_style_) : nullptr;
        std::vector<const DataStyle**> chain;  // the styles walked, to be resolved
        formats_.reserve(cell_styles_.size());
        for (const auto& [name, ignored] : cell_styles_) {
            chain.clear();
            const DataStyle* found = fallback;
            for (std::string_view at = name;;) {
                if (const auto known = formats_.find(at); known != formats_.end()) {
                    if (known->second != &kResolving) found = known->second;
                    break;
                }
                const auto style = cell_styles_.find(at);
                if (style == cell_styles_.end()) break;
                chain.push_back(&formats_.emplace(style->first, &kResolving).first->second);
                if (style->second.data_style) {
                    found = data_style_named(*style->second.data_style);
                    break;
                }
                at = style->second.parent;
            }
            for (const DataStyle** resolved : chain) *resolved = found;
        }
        const auto named_default = formats_.find(std::string_view("Default"));
        default_format_ = named_default != formats_.end() ? named_default->second : fallback;
    }

    /// The code of a refused style, its conditions first as [>=0]code;
    std::string code_of(const DataStyle* style) const {
        if (style == nullptr) return "General";
        std::string code;
        for (const auto& [condition, applied] : style->conditions) {
            // No more than a message shows, however many conditions.
            if (code.size() > kMaxStyleCode) return code;
            const auto found = data_styles_.find(applied);
            code += "[" + condition + "]" +
                    (found == data_styles_.end() ? applied : found->second.code) + ";";
        }
        return code + style->code;
    }

    /// Fills `row` with the next copy of a row with cells: its number, or 0
    /// past the sheet's last row.
    std::uint64_t next_copy(SheetRow& row) {
        while (handed_ == copies_) {
            if (!next_row()) return 0;
            const bool empty = cells_.empty() && refused_.empty();
            first_ = next_number_;
            next_number_ += repeat_;
            handed_ = 0;
            // Empty rows cost nothing, however many.
            copies_ = empty ? 0 : repeat_;
            if (!empty && next_number_ - 1 > kSheetRows) {
                unreadable("The workbook's first sheet has cells in row " +
                           std::to_string(next_number_ - 1) + ", past the most a sheet has.");
            }
        }
        const std::uint64_t number = first_ + handed_++;
        row.clear();
        for (const Cell& cell : cells_) {
            row.add(cell.column, std::string_view(texts_).substr(cell.offset, cell.size),
                    cell.repeated);
        }
        for (const Refused& refused : refused_) {
            row.refuse(refused.column, refused.kind, refused.detail, refused.count);
        }
        return number;
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
        const auto style = part.attribute(kTable, "default-cell-style-name");
        const DataStyle* format = default_format_;
        if (style) {
            const auto found = formats_.find(*style);
            if (found != formats_.end()) format = found->second;
        }
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
            // Cut once, not for each column and copy of the row it stands in.
            refused_.push_back({column, columns, kind,
                                detail.size() > SheetRow::kLongestRefusal
                                    ? shortened(detail, SheetRow::kLongestRefusal)
                                    : std::move(detail)});
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
                refuse(CellRefusal::Kind::number_format, code_of(style));
            }
            part.skip();
        } else if (const std::string_view usual = usual_code(*type); !usual.empty()) {
            // Shown as a percentage, money, a date or a time whatever its style.
            const DataStyle* style = format_of(column);
            refuse(CellRefusal::Kind::number_format,
                   style != nullptr && !style->shown ? code_of(style) : std::string(usual));
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
            return column < column_formats_.size() ? column_formats_[column] : default_format_;
        if (*name != last_style_) {
            last_style_ = *name;
            const auto found = formats_.find(*name);
            last_format_ = found == formats_.end() ? default_format_ : found->second;
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

    std::string_view part_;  // the part being read, named in errors
    std::optional<ZipArchive> zip_;
    std::optional<Part> content_;  // until the first sheet's end

    ByName<DataStyle> data_styles_;
    ByName<CellStyle> cell_styles_;
    std::optional<std::string> default_data_style_;
    ByName<const DataStyle*> formats_;  // each cell style's data style; null for General
    const DataStyle* default_format_ = nullptr;
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
    // Handed on: `handed_` of `copies_` rows from row `first_`.
    std::uint64_t first_ = 0, copies_ = 0, handed_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> ods_rows(RandomAccessSource& file) {
    return std::make_unique<SheetRows>(std::make_unique<OdsSheet>(file));
}

}  // namespace convert
