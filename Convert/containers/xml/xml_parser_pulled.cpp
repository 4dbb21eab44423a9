// The XML parser over a reader that is pulled, XmlLite's: each node read is
// handed to the handler as it comes.

#include <memory>
#include <utility>

#include "containers/xml/xml_reader.h"

namespace convert {

namespace {

class PulledParser final : public XmlParser {
public:
    PulledParser(XmlReader& reader, XmlHandler& handler, std::unique_ptr<XmlReader> owned = {})
        : owned_(std::move(owned)), reader_(reader), handler_(&handler) {}

    bool run() override {
        paused_ = false;
        for (;;) {
            const XmlReader::Node node = reader_.next();
            if (node == XmlReader::Node::done) return false;
            hand_on(node, reader_, *handler_);
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
