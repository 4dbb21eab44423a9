// A workbook part's XML handed to a handler as it is parsed, namespace-aware,
// over the platform's parser: expat (xml_parser_expat.cpp), or XmlLite on
// Windows (xml_parser_pulled.cpp). Documents with a document type declaration
// are refused; comments and processing instructions are passed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

/// A namespace declaration: "" is the default namespace.
struct XmlBinding {
    std::string prefix, ns;
};

struct XmlAttribute {
    std::string_view ns, name, value;
};

/// An element's attributes, while its start is being handled.
class XmlAttributes {
public:
    virtual std::size_t size() const = 0;
    virtual XmlAttribute operator[](std::size_t i) const = 0;
    /// The value of the attribute (ns, name), references decoded, or nullopt.
    /// An attribute without a prefix has no namespace.
    virtual std::optional<std::string_view> find(std::string_view ns,
                                                 std::string_view name) const = 0;

protected:
    ~XmlAttributes() = default;
};

/// What a document holds, handed on in its order. Names are (namespace URI,
/// local name), "" for no namespace. The views last for the call only.
class XmlHandler {
public:
    virtual void start(std::string_view ns, std::string_view name,
                       const XmlAttributes& attributes) = 0;
    virtual void end(std::string_view ns, std::string_view name) = 0;
    /// Characters in UTF-8, references and CDATA decoded, whitespace kept.
    /// One run of text may come in several pieces.
    virtual void text(std::string_view text) = 0;

protected:
    ~XmlHandler() = default;
};

class XmlParser {
public:
    virtual ~XmlParser() = default;
    /// Parses on, handing what it finds to the handler, until the root element
    /// has ended (false, and ever after), a handler has paused it, or the
    /// input has read to a boundary (ByteSource::at_boundary()) (true).
    /// Throws XmlError, or what the input or a handler throws.
    virtual bool run() = 0;
    /// From within a handler: run() returns once the call has.
    virtual void pause() = 0;
    /// The handler from the next event on.
    virtual void set_handler(XmlHandler& handler) = 0;

    // For a reader that reads some elements itself, passing them over unseen.

    /// Whether the parser holds input it has read but not handed on: while
    /// it does, the input's bytes cannot be passed over.
    virtual bool holds_input() const = 0;
    /// The namespace declarations in force, outermost first.
    virtual const std::vector<XmlBinding>& bindings() const = 0;
    /// Counts `lines` more lines in the input than the parser has read.
    virtual void add_lines(std::uint64_t lines) = 0;
};

/// Parses the XML document that `input` (which must outlive the parser)
/// yields, a block at a time.
std::unique_ptr<XmlParser> parse_xml(ByteSource& input, XmlHandler& handler);

}  // namespace convert
