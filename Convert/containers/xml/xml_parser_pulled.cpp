// The XML parser over a reader that is pulled, XmlLite's: each node read is
// handed to the handler as it comes.

#include <memory>
#include <utility>

#include "containers/xml/xml_reader.h"

namespace convert {

namespace {

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

class PulledParser final : public XmlParser {
public:
    PulledParser(XmlReader& reader, XmlHandler& handler, std::unique_ptr<XmlReader> owned = {})
        : owned_(std::move(owned)), reader_(reader), handler_(&handler) {}

    bool run() override {
        paused_ = false;
        for (;;) {
            switch (reader_.next()) {
                case XmlReader::Node::start:
                    handler_->start(reader_.ns(), reader_.name(), ReaderAttributes(reader_));
                    break;
                case XmlReader::Node::end:
                    handler_->end(reader_.ns(), reader_.name());
                    break;
                case XmlReader::Node::text:
                    handler_->text(reader_.text());
                    break;
                case XmlReader::Node::done:
                    return false;
            }
            if (paused_) return true;
        }
    }
    void pause() override { paused_ = true; }
    void set_handler(XmlHandler& handler) override { handler_ = &handler; }
    // XmlLite says nothing of what it holds: nothing is passed over.
    bool holds_input() const override { return true; }
    const std::vector<XmlBinding>& bindings() const override { return bindings_; }
    void add_lines(std::uint64_t) override {}

private:
    std::unique_ptr<XmlReader> owned_;
    XmlReader& reader_;
    XmlHandler* handler_;
    bool paused_ = false;
    std::vector<XmlBinding> bindings_;
};

}  // namespace

std::unique_ptr<XmlParser> parse_xml(ByteSource& input, XmlHandler& handler) {
    std::unique_ptr<XmlReader> reader = read_xml(input);
    XmlReader& read = *reader;
    return std::make_unique<PulledParser>(read, handler, std::move(reader));
}

std::unique_ptr<XmlParser> hand_over(XmlReader& reader, XmlHandler& handler) {
    return std::make_unique<PulledParser>(reader, handler);
}

}  // namespace convert
