// The XML reader over a parser that calls handlers: the parser's events are
// queued in reused buffers, and the parser is paused whenever the queue holds
// enough, so that memory stays bounded whatever the document.

#include <cstdint>
#include <string>
#include <vector>

#include "containers/xml/xml_reader.h"

namespace convert {

namespace {

/// The queue's size at which the parser is paused until the queue has been read.
constexpr std::size_t kQueueBytes = 64 << 10;

class QueuedReader final : public XmlReader, XmlHandler {
public:
    explicit QueuedReader(ByteSource& input) : parser_(parse_xml(input, *this)) {}

    Node next() override {
        if (++current_ < queue_.size()) return queue_[current_].kind;
        queue_.clear();
        attributes_.clear();
        arena_.clear();
        current_ = 0;
        while (queue_.empty()) {
            if (!parser_->run()) queue_.push_back({});
        }
        return queue_[0].kind;
    }
    bool queue_read() const { return current_ + 1 >= queue_.size(); }
    /// The next node queued; `done` past the last.
    Node next_queued() {
        if (current_ + 1 < queue_.size()) return queue_[++current_].kind;
        return Node::done;
    }

    std::string_view ns() const override { return view(queue_[current_].ns); }
    std::string_view name() const override { return view(queue_[current_].name); }
    std::string_view text() const override { return view(queue_[current_].text); }

    std::optional<std::string_view> attribute(std::string_view ns,
                                              std::string_view name) const override {
        const Queued& node = queue_[current_];
        for (std::uint32_t i = node.first_attribute; i < node.end_attribute; ++i) {
            const Attribute& a = attributes_[i];
            if (view(a.name) == name && view(a.ns) == ns) return view(a.value);
        }
        return std::nullopt;
    }

    std::size_t attribute_count() const override {
        return queue_[current_].end_attribute - queue_[current_].first_attribute;
    }
    XmlAttribute attribute(std::size_t i) const override {
        const Attribute& a = attributes_[queue_[current_].first_attribute + i];
        return {view(a.ns), view(a.name), view(a.value)};
    }

    /// The rest of the document for `handler`: what is queued, then what
    /// the parser finds.
    std::unique_ptr<XmlParser> hand_over(XmlHandler& handler);

private:
    /// Bytes of the arena.
    struct Span {
        std::uint32_t at = 0;
        std::uint32_t size = 0;
    };
    struct Attribute {
        Span ns, name, value;
    };
    struct Queued {
        Node kind = Node::done;
        Span ns, name, text;
        std::uint32_t first_attribute = 0, end_attribute = 0;
    };
    std::string_view view(Span span) const { return {arena_.data() + span.at, span.size}; }

    Span add(std::string_view bytes) {
        const Span span{static_cast<std::uint32_t>(arena_.size()),
                        static_cast<std::uint32_t>(bytes.size())};
        arena_.append(bytes);
        return span;
    }

    void start(std::string_view ns, std::string_view name,
               const XmlAttributes& attributes) override;
    void end(std::string_view ns, std::string_view name) override {
        Queued node;
        node.kind = Node::end;
        node.ns = add(ns);
        node.name = add(name);
        queue(node);
    }
    void text(std::string_view text) override {
        // Text that the parser hands on in pieces is one node while it is queued.
        if (!queue_.empty() && queue_.back().kind == Node::text) {
            Span& last = queue_.back().text;
            if (last.at + last.size == arena_.size()) {
                arena_.append(text);
                last.size += static_cast<std::uint32_t>(text.size());
                pause_when_full();
                return;
            }
        }
        Queued node;
        node.kind = Node::text;
        node.text = add(text);
        queue(node);
    }
    void queue(const Queued& node) {
        queue_.push_back(node);
        pause_when_full();
    }
    void pause_when_full() {
        if (arena_.size() + queue_.size() * sizeof(Queued) +
                attributes_.size() * sizeof(Attribute) >=
            kQueueBytes) {
            parser_->pause();
        }
    }

    std::unique_ptr<XmlParser> parser_;
    std::string arena_;             // the queued nodes' names, values and text
    std::vector<Queued> queue_{1};  // the current node and those after it
    std::vector<Attribute> attributes_;
    std::size_t current_ = 0;

    friend class Handed;
};

/// The parser of a reader handed over, which hands on the reader's queue first.
class Handed final : public XmlParser {
public:
    Handed(QueuedReader& reader, XmlHandler& handler) : reader_(reader), handler_(&handler) {}

    bool run() override {
        paused_ = false;
        while (!queued_done_) {
            const Node node = reader_.next_queued();
            if (node == Node::done) {
                queued_done_ = true;
                reader_.parser_->set_handler(*handler_);
                continue;
            }
            hand_on(node, reader_, *handler_);
            if (paused_) return true;
        }
        return reader_.parser_->run();
    }
    void pause() override {
        if (queued_done_) {
            reader_.parser_->pause();
        } else {
            paused_ = true;
        }
    }
    void set_handler(XmlHandler& handler) override {
        handler_ = &handler;
        if (queued_done_) reader_.parser_->set_handler(handler);
    }
    bool holds_input() const override {
        return !reader_.queue_read() || reader_.parser_->holds_input();
    }
    const std::vector<XmlBinding>& bindings() const override { return reader_.parser_->bindings(); }
    void add_lines(std::uint64_t lines) override { reader_.parser_->add_lines(lines); }

private:
    using Node = XmlReader::Node;

    QueuedReader& reader_;
    XmlHandler* handler_;
    bool queued_done_ = false;  // the queue has been handed on
    bool paused_ = false;
};

std::unique_ptr<XmlParser> QueuedReader::hand_over(XmlHandler& handler) {
    return std::make_unique<Handed>(*this, handler);
}

void QueuedReader::start(std::string_view ns, std::string_view name,
                         const XmlAttributes& attributes) {
    Queued node;
    node.kind = Node::start;
    node.ns = add(ns);
    node.name = add(name);
    node.first_attribute = static_cast<std::uint32_t>(attributes_.size());
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        const XmlAttribute a = attributes[i];
        attributes_.push_back({add(a.ns), add(a.name), add(a.value)});
    }
    node.end_attribute = static_cast<std::uint32_t>(attributes_.size());
    queue(node);
}

}  // namespace

std::unique_ptr<XmlReader> read_xml(ByteSource& input) {
    return std::make_unique<QueuedReader>(input);
}

std::unique_ptr<XmlParser> hand_over(XmlReader& reader, XmlHandler& handler) {
    return static_cast<QueuedReader&>(reader).hand_over(handler);
}

}  // namespace convert
