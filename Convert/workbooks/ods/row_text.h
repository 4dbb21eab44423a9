// The text of a row's cells as the export writes it, kept no longer than the
// longest row: each cell's paragraphs one line each, white space collapsed,
// the spaces and line breaks their elements stand for, notes, ruby text,
// annotations and drawings left out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "containers/xml/xml_parser.h"
#include "sources/row_source.h"

namespace convert::ods {

class RowText {
public:
    void clear() { text_.clear(); }
    std::size_t size() const { return text_.size(); }
    std::string_view view(std::size_t offset, std::size_t size) const {
        return std::string_view(text_).substr(offset, size);
    }
    /// Takes the text from `offset` on out of the row's.
    std::string take_from(std::size_t offset);

    /// Appends to the row's text: none past the longest row, so that a row
    /// too long holds no more.
    void keep(std::string_view text) { text_.append(text.substr(0, room())); }
    void keep(std::uint64_t count, char c) {
        text_.append(static_cast<std::size_t>(std::min<std::uint64_t>(count, room())), c);
    }

    // A cell's paragraphs, as the parser hands them on.
    void start_cell() { first_paragraph_ = true; }
    void start_paragraph();
    /// An element started within the paragraph: whether its content is read.
    bool start_in_paragraph(std::string_view ns, std::string_view name,
                            const XmlAttributes& attributes);
    /// An element ended within the paragraph: whether it was the paragraph.
    bool end_in_paragraph();
    void paragraph_text(std::string_view text);

private:
    std::size_t room() const {
        return text_.size() > kLongestRow ? 0 : kLongestRow + 1 - text_.size();
    }
    /// Text kept in a paragraph, after the space that white space before it stands for.
    void kept(std::string_view text);

    std::string text_;
    bool first_paragraph_ = false;  // of the cell, none read yet
    // The paragraph being read.
    std::size_t inside_ = 0;  // its spans open
    bool any_ = false;        // text kept so far
    bool space_ = false;      // white space read since
};

}  // namespace convert::ods
