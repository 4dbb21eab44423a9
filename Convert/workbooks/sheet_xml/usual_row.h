// The usual rows of a sheet's XML read without the parser: a row made only of
// the elements its writers use, with plain attributes and text, under the
// namespace prefixes in force. Anything else in it makes it unusual, for the
// parser to read: references, comments, CDATA, instructions, namespace
// declarations, control characters, bytes that are not UTF-8, a carriage
// return, an unknown element, an attribute named twice. What a usual row
// gives is what the parser would give for it; "unusual" is always safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "containers/xml/xml_parser.h"

namespace convert {

/// An element by its namespace and local name.
struct XmlName {
    std::string_view ns, name;
};

class UsualRow {
public:
    enum class Read { usual, unusual, cut };

    /// `rows`: the row's element, in each namespace it may have; `inside`:
    /// those a row may hold.
    UsualRow(const std::vector<XmlName>& rows, const std::vector<XmlName>& inside);

    /// Takes the namespace declarations in force.
    void learn(const std::vector<XmlBinding>& bindings);
    /// Reads the row at the start of `bytes` (white space before it
    /// included): `cut` when the bytes end before the row does.
    Read read(std::string_view bytes);
    /// For a usual row: its length in bytes, and the lines it ends.
    std::size_t size() const { return size_; }
    std::uint64_t lines() const { return lines_; }
    /// Hands the usual row read last to `handler`, as the parser would.
    void hand_on(XmlHandler& handler) const;

private:
    struct Token {
        enum class Kind : std::uint8_t { start, end, text } kind;
        std::uint8_t element;       // start and end: in elements_
        std::uint32_t first, last;  // start: attributes_[first, last)
        std::string_view text;      // text
    };
    /// A qualified name met, and what it stands for.
    struct Known {
        std::string qualified;
        std::string_view ns;  // an attribute's,
        std::size_t local;    // and where its local name starts
        int element;          // in elements_, or -1 for none; for an attribute, 0 for a usual one
    };

    std::optional<std::string_view> ns_of(std::string_view prefix) const;
    int element_of(std::string_view qualified);
    const Known* attribute_of(std::string_view qualified);
    /// Reads a name from bytes_[at_], colons included.
    std::string_view name();
    /// Reads a start tag from bytes_[at_] (past its "<"); false when unusual.
    bool start_tag();
    bool end_tag();
    /// Reads an attribute of the element whose attributes start at `first`.
    bool attribute(std::size_t first);
    bool text();

    std::vector<XmlName> elements_;  // the rows' first
    std::size_t rows_ = 0;
    std::vector<XmlBinding> bindings_;                         // in force when known_ was learned
    std::array<Known, 64> elements_known_, attributes_known_;  // by slot

    // The row read last.
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool cut_ = false;
    std::vector<Token> tokens_;
    std::vector<XmlAttribute> attributes_;
    std::vector<std::pair<std::string_view, std::uint8_t>> open_;  // qualified name, element
    std::size_t size_ = 0;
    std::uint64_t lines_ = 0;
};

}  // namespace convert
