// A workbook part's XML read node by node, namespace-aware: the small parts'
// way. Over expat, the parser's events are queued (xml_reader_queued.cpp);
// on Windows, XmlLite is read as it pulls (xml_reader_xmllite.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "containers/xml/xml_parser.h"
#include "sources/byte_source.h"

namespace convert {

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
    /// For start: the element's attributes, in their order.
    virtual std::size_t attribute_count() const = 0;
    virtual XmlAttribute attribute(std::size_t i) const = 0;
};

/// The attributes of the element a reader is on, for a handler.
class ReaderAttributes final : public XmlAttributes {
public:
    explicit ReaderAttributes(const XmlReader& reader) : reader_(reader) {}
    std::size_t size() const override { return reader_.attribute_count(); }
    XmlAttribute operator[](std::size_t i) const override { return reader_.attribute(i); }
    std::optional<std::string_view> find(std::string_view ns,
                                         std::string_view name) const override {
        return reader_.attribute(ns, name);
    }

private:
    const XmlReader& reader_;
};

/// Hands the node `reader` is on, `node` (a start, an end or text), to `handler`.
inline void hand_on(XmlReader::Node node, const XmlReader& reader, XmlHandler& handler) {
    if (node == XmlReader::Node::start) {
        handler.start(reader.ns(), reader.name(), ReaderAttributes(reader));
    } else if (node == XmlReader::Node::end) {
        handler.end(reader.ns(), reader.name());
    } else {
        handler.text(reader.text());
    }
}

/// Reads the XML document that `input` (which must outlive the reader)
/// yields, a block at a time.
std::unique_ptr<XmlReader> read_xml(ByteSource& input);

/// The rest of the document, after the node `reader` returned last, parsed
/// for `handler`; the reader is read no more, and must outlive the parser.
std::unique_ptr<XmlParser> hand_over(XmlReader& reader, XmlHandler& handler);

}  // namespace convert
