#include "workbooks/ods/ods_part.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <vector>

#include "workbooks/workbook_rows.h"

namespace convert::ods {

std::uint64_t count_of(std::string_view text, std::string_view what, std::uint64_t most,
                       std::uint64_t least) {
    std::uint64_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error == std::errc::result_out_of_range) return most;
    if (error != std::errc{} || end != text.data() + text.size() || count < least) {
        unreadable("The workbook holds " + std::string(what) + " \"" +
                   std::string(text.substr(0, 32)) + "\", which is not a count.");
    }
    return std::min(count, most);
}

Part::Part(const ZipArchive& zip, const ZipEntry& entry)
    : input_(std::make_unique<SheetBytes>(zip.open(entry))), xml_(read_xml(*input_)) {}

bool Part::root(std::string_view ns, std::string_view name) {
    return xml_->next() == Node::start && at(ns, name);
}

bool Part::skip() {
    bool held = false;
    for (std::size_t depth = 1; depth > 0;) {
        const Node node = next_node();
        held = held || node == Node::start;
        if (node == Node::start) ++depth;
        if (node == Node::end) --depth;
    }
    return held;
}

std::string Part::text(std::size_t most) {
    std::string text;
    for (std::size_t depth = 1; depth > 0;) {
        const Node node = next_node();
        if (node == Node::text) text.append(xml_->text().substr(0, most - text.size()));
        if (node == Node::start) ++depth;
        if (node == Node::end) --depth;
    }
    return text;
}

void Part::finish() {
    input_->read_to_end();
}

// Both parsers refuse a document cut inside an element before they are done:
// this is a reader gone past the root's end.
void Part::ends_inside() {
    throw XmlError("the document ends inside an element.");
}

}  // namespace convert::ods
