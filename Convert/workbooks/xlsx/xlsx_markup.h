// What every part of an .xlsx is read with: the namespaces of its markup,
// and the small helpers of its readers.
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "containers/xml/xml_reader.h"
#include "workbooks/workbook_rows.h"

namespace convert::xlsx {

using Node = XmlReader::Node;

// The namespaces of a workbook's markup, as Excel writes it and in the
// strict form some writers use.
inline constexpr std::string_view kMain =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kStrictMain = "http://purl.oclc.org/ooxml/spreadsheetml/main";
inline constexpr std::string_view kRelationIds =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr std::string_view kStrictRelationIds =
    "http://purl.oclc.org/ooxml/officeDocument/relationships";
inline constexpr std::string_view kRelationships =
    "http://schemas.openxmlformats.org/package/2006/relationships";

inline bool is_main(std::string_view ns) {
    return ns == kMain || ns == kStrictMain;
}

/// Whether the node is the start or end of the workbook element `name`.
inline bool is(const XmlReader& xml, std::string_view name) {
    return xml.name() == name && is_main(xml.ns());
}

/// The attribute `name`, without a namespace, of the element started; "" when it has none.
inline std::string_view attribute(const XmlReader& xml, std::string_view name) {
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
inline std::string quoted(std::string_view text) {
    return '"' + std::string(text.substr(0, 40)) + (text.size() > 40 ? "...\"" : "\"");
}

}  // namespace convert::xlsx
