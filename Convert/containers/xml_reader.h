// A workbook part's XML read node by node, namespace-aware, over the
// platform's parser: expat (xml_reader_expat.cpp), or XmlLite on Windows
// (xml_reader_xmllite.cpp). Documents with a document type declaration are
// refused; comments and processing instructions are passed over.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "sources/byte_source.h"

namespace convert {

/// A document that is not well-formed, or is refused; the reason names the line.
struct XmlError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The longest markup (a tag with its attributes, a comment) read; a
/// document with longer markup is refused. XmlLite holds a node whole before
/// it can be measured: on Windows, the input that one node may take is what
/// is bounded, a little beyond this for what XmlLite reads ahead (under Wine,
/// whose XmlLite holds text whole, longer text is refused too).
inline constexpr std::size_t kMaxXmlMarkup = 1 << 20;

/// The deepest element read; a document with elements nested deeper is refused.
inline constexpr std::size_t kMaxXmlDepth = 256;

class XmlReader {
public:
    enum class Node { start, end, text, done };

    virtual ~XmlReader() = default;
    /// The next node; `done` after the root element has ended, and ever after.
    /// An empty element gives a start and an end node. Throws XmlError, or
    /// what the input throws.
    virtual Node next() = 0;

    // The views below stay valid until the next call to next().

    /// For start and end: the element's namespace URI ("" for none) and local name.
    virtual std::string_view ns() const = 0;
    virtual std::string_view name() const = 0;
    /// For text: characters in UTF-8, references and CDATA decoded, whitespace
    /// kept. One run of text may come as several text nodes in a row, each of
    /// bounded size.
    virtual std::string_view text() const = 0;
    /// For start: the value of the attribute (ns, name), or nullopt. An
    /// attribute without a prefix has no namespace.
    virtual std::optional<std::string_view> attribute(std::string_view ns,
                                                      std::string_view name) const = 0;
};

/// Reads the XML document that `input` (which must outlive the reader)
/// yields, a block at a time.
std::unique_ptr<XmlReader> read_xml(ByteSource& input);

}  // namespace convert
