// The XML parser over expat, whose callbacks call the handler's straight:
// names are split into namespace and local name where they stand, and
// attributes are looked up in expat's own array.

#include <expat.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "containers/xml/xml_parser.h"

namespace convert {

namespace {

/// Between a name's namespace URI and its local name: a character that
/// neither may hold, not even as a character reference.
constexpr char kSeparator = '\x01';
constexpr std::size_t kReadBlock = 64 << 10;

/// Whether expat's expanded name `expanded` is (ns, name).
bool is_name(const XML_Char* expanded, std::string_view ns, std::string_view name) {
    if (!ns.empty()) {
        if (std::strncmp(expanded, ns.data(), ns.size()) != 0 || expanded[ns.size()] != kSeparator)
            return false;
        expanded += ns.size() + 1;
    }
    return std::strncmp(expanded, name.data(), name.size()) == 0 && expanded[name.size()] == '\0';
}

/// An expanded name split where it stands.
struct Name {
    std::string_view ns, local;
    explicit Name(const XML_Char* expanded) {
        // One pass over the namespace, which is most of the name.
        const char* separator = std::strchr(expanded, kSeparator);
        if (separator == nullptr) {
            local = expanded;
        } else {
            ns = {expanded, static_cast<std::size_t>(separator - expanded)};
            local = separator + 1;
        }
    }
};

class ExpatAttributes final : public XmlAttributes {
public:
    explicit ExpatAttributes(const XML_Char** attributes) : attributes_(attributes) {}
    std::size_t size() const override {
        std::size_t size = 0;
        while (attributes_[2 * size] != nullptr) ++size;
        return size;
    }
    XmlAttribute operator[](std::size_t i) const override {
        const Name name(attributes_[2 * i]);
        return {name.ns, name.local, attributes_[2 * i + 1]};
    }
    std::optional<std::string_view> find(std::string_view ns,
                                         std::string_view name) const override {
        for (const XML_Char** a = attributes_; *a != nullptr; a += 2) {
            if (is_name(a[0], ns, name)) return std::string_view(a[1]);
        }
        return std::nullopt;
    }

private:
    const XML_Char** attributes_;
};

class ExpatParser final : public XmlParser {
public:
    ExpatParser(ByteSource& input, XmlHandler& handler)
        : input_(input), handler_(&handler), parser_(XML_ParserCreateNS(nullptr, kSeparator)) {
        if (parser_ == nullptr) throw std::bad_alloc();
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &on_start, &on_end);
        XML_SetCharacterDataHandler(parser_, &on_text);
        XML_SetStartDoctypeDeclHandler(parser_, &on_doctype);
        XML_SetNamespaceDeclHandler(parser_, &on_binding, &on_unbinding);
    }
    ~ExpatParser() override { XML_ParserFree(parser_); }
    ExpatParser(const ExpatParser&) = delete;
    ExpatParser& operator=(const ExpatParser&) = delete;

    bool run() override {
        while (!finished_) {
            // Bytes read to a boundary are used before more are read.
            if (parse_more() || input_.at_boundary()) return !finished_;
        }
        return false;
    }
    void pause() override {
        if (!pausing_) XML_StopParser(parser_, XML_TRUE);
        pausing_ = true;
    }
    void set_handler(XmlHandler& handler) override { handler_ = &handler; }

    bool holds_input() const override {
        // Where expat stands: within the event it paused in, or where it
        // stopped for want of bytes, at the markup it has yet to finish.
        const XML_Index at = XML_GetCurrentByteIndex(parser_);
        if (at < 0) return fed_ != 0;
        return static_cast<std::uint64_t>(at + XML_GetCurrentByteCount(parser_)) != fed_;
    }
    const std::vector<XmlBinding>& bindings() const override { return bindings_; }
    void add_lines(std::uint64_t lines) override { added_lines_ += lines; }

private:
    /// Runs expat on the rest of its input, or on the input's next block:
    /// whether a handler paused it.
    bool parse_more() {
        pausing_ = false;
        XML_Status status;
        if (paused_) {
            paused_ = false;
            status = XML_ResumeParser(parser_);
        } else {
            auto* buffer = static_cast<char*>(XML_GetBuffer(parser_, static_cast<int>(kReadBlock)));
            if (buffer == nullptr) throw std::bad_alloc();
            // Whole blocks, however little the input gives at a time: expat
            // rescans unfinished markup on each call.
            std::size_t size = 0;
            bool ended = false;
            while (size < kReadBlock && !ended) {
                const std::size_t n = input_.read(buffer + size, kReadBlock - size);
                ended = n == 0;
                size += n;
                if (input_.at_boundary()) break;
            }
            fed_ += size;
            status = XML_ParseBuffer(parser_, static_cast<int>(size), ended);
        }
        if (status == XML_STATUS_ERROR) {
            if (failure_) std::rethrow_exception(failure_);
            fail(XML_ErrorString(XML_GetErrorCode(parser_)));
        }
        if (status == XML_STATUS_SUSPENDED) return paused_ = true;
        XML_ParsingStatus parsing;
        XML_GetParsingStatus(parser_, &parsing);
        finished_ = parsing.parsing == XML_FINISHED;
        // Expat keeps unfinished markup whole; the last event began it.
        const XML_Index markup = XML_GetCurrentByteIndex(parser_);
        if (!finished_ &&
            fed_ - static_cast<std::uint64_t>(markup < 0 ? 0 : markup) > kMaxXmlMarkup) {
            fail("markup too long");
        }
        return false;
    }

    void start(const XML_Char* name, const XML_Char** attributes) {
        if (static_cast<std::size_t>(XML_GetCurrentByteCount(parser_)) > kMaxXmlMarkup) {
            fail("markup too long");
        }
        if (++depth_ > kMaxXmlDepth) {
            fail("elements nested more than " + std::to_string(kMaxXmlDepth) + " deep");
        }
        const Name split(name);
        handler_->start(split.ns, split.local, ExpatAttributes(attributes));
    }
    void end(const XML_Char* name) {
        --depth_;
        const Name split(name);
        handler_->end(split.ns, split.local);
    }

    [[noreturn]] void fail(std::string_view reason) const {
        throw XmlError(std::string(reason) + " (line " +
                       std::to_string(XML_GetCurrentLineNumber(parser_) + added_lines_) + ").");
    }

    /// Runs a callback's work; what it throws stops expat, and is thrown again
    /// once expat has returned.
    template <typename Work>
    static void guarded(void* self, Work work) {
        auto& parser = *static_cast<ExpatParser*>(self);
        try {
            work(parser);
        } catch (...) {
            parser.failure_ = std::current_exception();
            XML_StopParser(parser.parser_, XML_FALSE);
        }
    }
    static void XMLCALL on_start(void* self, const XML_Char* name, const XML_Char** attributes) {
        guarded(self, [&](ExpatParser& p) { p.start(name, attributes); });
    }
    static void XMLCALL on_end(void* self, const XML_Char* name) {
        guarded(self, [&](ExpatParser& p) { p.end(name); });
    }
    static void XMLCALL on_text(void* self, const XML_Char* bytes, int size) {
        guarded(self, [&](ExpatParser& p) {
            p.handler_->text({bytes, static_cast<std::size_t>(size)});
        });
    }
    static void XMLCALL on_binding(void* self, const XML_Char* prefix, const XML_Char* ns) {
        guarded(self, [&](ExpatParser& p) {
            p.bindings_.push_back({prefix != nullptr ? prefix : "", ns != nullptr ? ns : ""});
        });
    }
    static void XMLCALL on_unbinding(void* self, const XML_Char*) {
        guarded(self, [](ExpatParser& p) { p.bindings_.pop_back(); });
    }
    static void XMLCALL on_doctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*,
                                   int) {
        guarded(self, [](ExpatParser& p) { p.fail("document type declarations are refused"); });
    }

    ByteSource& input_;
    XmlHandler* handler_;
    XML_Parser parser_;
    std::size_t depth_ = 0;  // elements open
    std::uint64_t fed_ = 0;  // bytes given to expat
    bool pausing_ = false;   // a pause has been asked for
    bool paused_ = false;    // expat has stopped within its input
    bool finished_ = false;
    std::exception_ptr failure_;
    std::vector<XmlBinding> bindings_;
    std::uint64_t added_lines_ = 0;
};

}  // namespace

std::unique_ptr<XmlParser> parse_xml(ByteSource& input, XmlHandler& handler) {
    return std::make_unique<ExpatParser>(input, handler);
}

}  // namespace convert
