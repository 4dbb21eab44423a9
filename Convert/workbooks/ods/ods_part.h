// One part of an OpenDocument workbook read as XML, element by element, with
// the namespaces of its markup and the counts its attributes hold.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "containers/xml/xml_reader.h"
#include "containers/zip_archive.h"
#include "sources/byte_source.h"
#include "workbooks/sheet_xml/sheet_bytes.h"
#include "workbooks/workbook_rows.h"

namespace convert::ods {

inline constexpr std::string_view kOffice = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
inline constexpr std::string_view kTable = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
inline constexpr std::string_view kText = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
inline constexpr std::string_view kStyle = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
inline constexpr std::string_view kNumber = "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0";
inline constexpr std::string_view kDraw = "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";
inline constexpr std::string_view kFo =
    "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0";
inline constexpr std::string_view kManifest = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0";
// LibreOffice's own: error results, and min-decimal-places before OpenDocument had it.
inline constexpr std::string_view kCalcExt =
    "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";
inline constexpr std::string_view kLoExt =
    "urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0";

/// A count as OpenDocument writes one, at least `least`, taken as at most
/// `most`; `what` names it in the error.
std::uint64_t count_of(std::string_view text, std::string_view what, std::uint64_t most,
                       std::uint64_t least = 0);

/// A part of the workbook read as XML.
class Part {
public:
    using Node = XmlReader::Node;

    Part(const ZipArchive& zip, const ZipEntry& entry);

    XmlReader& xml() { return *xml_; }
    SheetBytes& bytes() { return *input_; }
    bool at(std::string_view ns, std::string_view name) const {
        return xml_->name() == name && xml_->ns() == ns;
    }
    std::optional<std::string_view> attribute(std::string_view ns, std::string_view name) const {
        return xml_->attribute(ns, name);
    }
    /// Reads the root element's start: whether it is (ns, name).
    bool root(std::string_view ns, std::string_view name);
    /// Reads up to the next child of the element being read: true at its
    /// start, false at the end of the element.
    bool next_child() {
        for (;;) {
            const Node node = next_node();
            if (node != Node::text) return node == Node::start;
        }
    }
    /// Reads to the end of the element just started; whether it held elements.
    bool skip();
    /// The text of the element just started, to its end, at most `most` bytes.
    std::string text(std::size_t most = 256);
    /// Reads the part's bytes to their end, unparsed, so that a damaged
    /// part is never taken for what it holds.
    void finish();
    /// The next node inside the element being read.
    Node next_node() {
        const Node node = xml_->next();
        if (node == Node::done) ends_inside();
        return node;
    }

private:
    [[noreturn]] static void ends_inside();

    std::unique_ptr<SheetBytes> input_;
    std::unique_ptr<XmlReader> xml_;
};

}  // namespace convert::ods
