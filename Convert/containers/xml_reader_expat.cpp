// The XML reader over expat. Expat pushes what it finds through callbacks;
// they queue the nodes in reused buffers, and expat is paused whenever the
// queue holds enough, so that memory stays bounded whatever the document.

#include <expat.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "containers/xml_reader.h"

namespace convert {

namespace {

/// Between a name's namespace URI and its local name: a character that
/// neither may hold, not even as a character reference.
constexpr char kSeparator = '\x01';
constexpr std::size_t kReadBlock = 64 << 10;
/// The queue's size at which expat is paused until the queue has been read.
constexpr std::size_t kQueueBytes = 64 << 10;

class ExpatReader final : public XmlReader {
public:
    explicit ExpatReader(ByteSource& input)
        : input_(input), parser_(XML_ParserCreateNS(nullptr, kSeparator)) {
        if (parser_ == nullptr) throw std::bad_alloc();
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &on_start, &on_end);
        XML_SetCharacterDataHandler(parser_, &on_text);
        XML_SetStartDoctypeDeclHandler(parser_, &on_doctype);
    }
    ~ExpatReader() override { XML_ParserFree(parser_); }
    ExpatReader(const ExpatReader&) = delete;
    ExpatReader& operator=(const ExpatReader&) = delete;

    Node next() override {
        if (++current_ < queue_.size()) return queue_[current_].kind;
        queue_.clear();
        attributes_.clear();
        arena_.clear();
        current_ = 0;
        while (queue_.empty()) {
            if (finished_) {
                queue_.push_back({});
            } else {
                parse_more();
            }
        }
        return queue_[0].kind;
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

    Span add(const char* bytes, std::size_t size) {
        const Span span{static_cast<std::uint32_t>(arena_.size()),
                        static_cast<std::uint32_t>(size)};
        arena_.append(bytes, size);
        return span;
    }
    void add_name(const char* expanded, Span& ns, Span& name) {
        const std::size_t size = std::strlen(expanded);
        const auto* separator = static_cast<const char*>(std::memchr(expanded, kSeparator, size));
        if (separator == nullptr) {
            name = add(expanded, size);
        } else {
            ns = add(expanded, separator - expanded);
            name = add(separator + 1, size - (separator + 1 - expanded));
        }
    }

    void start(const XML_Char* name, const XML_Char** attributes) {
        if (static_cast<std::size_t>(XML_GetCurrentByteCount(parser_)) > kMaxXmlMarkup) {
            fail("markup too long");
        }
        if (++depth_ > kMaxXmlDepth) {
            fail("elements nested more than " + std::to_string(kMaxXmlDepth) + " deep");
        }
        Queued node;
        node.kind = Node::start;
        add_name(name, node.ns, node.name);
        node.first_attribute = static_cast<std::uint32_t>(attributes_.size());
        for (; *attributes != nullptr; attributes += 2) {
            Attribute& a = attributes_.emplace_back();
            add_name(attributes[0], a.ns, a.name);
            a.value = add(attributes[1], std::strlen(attributes[1]));
        }
        node.end_attribute = static_cast<std::uint32_t>(attributes_.size());
        queue(node);
    }
    void end(const XML_Char* name) {
        --depth_;
        Queued node;
        node.kind = Node::end;
        add_name(name, node.ns, node.name);
        queue(node);
    }
    void text(const XML_Char* bytes, int size) {
        // Text that expat reports in pieces is one node while it is queued.
        if (!queue_.empty() && queue_.back().kind == Node::text) {
            Span& last = queue_.back().text;
            if (last.at + last.size == arena_.size()) {
                arena_.append(bytes, static_cast<std::size_t>(size));
                last.size += static_cast<std::uint32_t>(size);
                pause_when_full();
                return;
            }
        }
        Queued node;
        node.kind = Node::text;
        node.text = add(bytes, static_cast<std::size_t>(size));
        queue(node);
    }
    void queue(const Queued& node) {
        queue_.push_back(node);
        pause_when_full();
    }
    void pause_when_full() {
        if (!pausing_ && arena_.size() + queue_.size() * sizeof(Queued) +
                                 attributes_.size() * sizeof(Attribute) >=
                             kQueueBytes) {
            pausing_ = true;
            XML_StopParser(parser_, XML_TRUE);
        }
    }

    /// Runs expat on the rest of its input, or on the input's next block.
    void parse_more() {
        pausing_ = false;
        XML_Status status;
        if (paused_) {
            paused_ = false;
            status = XML_ResumeParser(parser_);
        } else {
            // Whole blocks, however little the input gives at a time: expat
            // rescans unfinished markup on each call.
            auto* buffer = static_cast<char*>(XML_GetBuffer(parser_, static_cast<int>(kReadBlock)));
            if (buffer == nullptr) throw std::bad_alloc();
            std::size_t size = 0;
            while (size < kReadBlock) {
                const std::size_t n = input_.read(buffer + size, kReadBlock - size);
                if (n == 0) break;
                size += n;
            }
            fed_ += size;
            status = XML_ParseBuffer(parser_, static_cast<int>(size), size < kReadBlock);
        }
        if (status == XML_STATUS_ERROR) {
            if (failure_) std::rethrow_exception(failure_);
            fail(XML_ErrorString(XML_GetErrorCode(parser_)));
        }
        if (status == XML_STATUS_SUSPENDED) {
            paused_ = true;
            return;
        }
        XML_ParsingStatus parsing;
        XML_GetParsingStatus(parser_, &parsing);
        finished_ = parsing.parsing == XML_FINISHED;
        // Expat keeps unfinished markup whole; the last event began it.
        const XML_Index markup = XML_GetCurrentByteIndex(parser_);
        if (!finished_ &&
            fed_ - static_cast<std::uint64_t>(markup < 0 ? 0 : markup) > kMaxXmlMarkup) {
            fail("markup too long");
        }
    }

    [[noreturn]] void fail(std::string_view reason) const {
        throw XmlError(std::string(reason) + " (line " +
                       std::to_string(XML_GetCurrentLineNumber(parser_)) + ").");
    }

    /// Runs a callback's work; what it throws stops expat, and is thrown again
    /// once expat has returned.
    template <typename Work>
    static void guarded(void* self, Work work) {
        auto& reader = *static_cast<ExpatReader*>(self);
        try {
            work(reader);
        } catch (...) {
            reader.failure_ = std::current_exception();
            XML_StopParser(reader.parser_, XML_FALSE);
        }
    }
    static void XMLCALL on_start(void* self, const XML_Char* name, const XML_Char** attributes) {
        guarded(self, [&](ExpatReader& r) { r.start(name, attributes); });
    }
    static void XMLCALL on_end(void* self, const XML_Char* name) {
        guarded(self, [&](ExpatReader& r) { r.end(name); });
    }
    static void XMLCALL on_text(void* self, const XML_Char* bytes, int size) {
        guarded(self, [&](ExpatReader& r) { r.text(bytes, size); });
    }
    static void XMLCALL on_doctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*,
                                   int) {
        guarded(self, [](ExpatReader& r) { r.fail("document type declarations are refused"); });
    }

    ByteSource& input_;
    XML_Parser parser_;
    std::string arena_;             // the queued nodes' names, values and text
    std::vector<Queued> queue_{1};  // the current node and those after it
    std::vector<Attribute> attributes_;
    std::size_t current_ = 0;
    std::size_t depth_ = 0;  // elements open
    std::uint64_t fed_ = 0;  // bytes given to expat
    bool pausing_ = false;   // a pause has been asked for
    bool paused_ = false;    // expat has stopped within its input
    bool finished_ = false;
    std::exception_ptr failure_;
};

}  // namespace

std::unique_ptr<XmlReader> read_xml(ByteSource& input) {
    return std::make_unique<ExpatReader>(input);
}

}  // namespace convert
