#include "workbooks/xlsx/xlsx_styles.h"

#include <unordered_map>
#include <variant>

#include "containers/xml/xml_reader.h"
#include "workbooks/xlsx/xlsx_markup.h"

namespace convert::xlsx {

namespace {

// Bounds, far past Excel's 64 000 cell formats and codes of 255 characters.
constexpr std::size_t kMaxCellStyles = 100'000;
constexpr std::size_t kMaxNumberFormats = 100'000;
constexpr std::size_t kMaxFormatCode = 4096;

}  // namespace

void Styles::read(Package& package, const std::string& path) {
    const auto stream = package.open(path);
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
        const auto own = codes.find(id);
        const ExcelFormat format =
            own != codes.end() ? excel_number_format(own->second) : excel_builtin_number_format(id);
        CellFormat& added_format = formats_.emplace_back();
        if (const auto* refused = std::get_if<RefusedFormat>(&format)) {
            added_format.code = refused->code;
        } else {
            added_format.shown = std::get<NumberFormat>(format);
            added_format.code =
                own != codes.end() ? own->second : std::string(excel_builtin_format_code(id));
        }
    }
}

const CellFormat* Styles::format_of(unsigned style) const {
    static const CellFormat kGeneral{NumberFormat{}, "General"};
    if (styles_.empty()) return style == 0 ? &kGeneral : nullptr;
    return style < styles_.size() ? &formats_[styles_[style]] : nullptr;
}

}  // namespace convert::xlsx
