// The XML reader over XmlLite, which Windows carries. MinGW has its header
// but no import library, so it is loaded at run time, from the system folder
// only. XmlLite reads through an IStream of our own over the ByteSource
// (xmllite_stream.cpp), which lets one call into XmlLite read only so much:
// XmlLite may hold a node whole (Wine's holds text and whitespace whole), so
// that is what bounds its memory. Values are read in chunks, and comments
// never reach XmlLite.

#include <windows.h>
#include <xmllite.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "containers/xml/xml_reader.h"
#include "containers/xml/xmllite_stream.h"
#include "text/utf8.h"

namespace convert {

namespace {

using CreateReader = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

/// XmlLite's CreateXmlReader; throws XmlError when it cannot be loaded.
CreateReader create_reader() {
    struct Loaded {
        CreateReader create = nullptr;
        DWORD error = 0;
    };
    static const Loaded loaded = [] {
        Loaded result;
        const HMODULE module =
            ::LoadLibraryExW(L"xmllite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const FARPROC found =
            module != nullptr ? ::GetProcAddress(module, "CreateXmlReader") : nullptr;
        result.create = reinterpret_cast<CreateReader>(reinterpret_cast<void (*)()>(found));
        if (found == nullptr) result.error = ::GetLastError();
        return result;
    }();
    if (loaded.create == nullptr) {
        wchar_t* text = nullptr;
        const DWORD length = ::FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, loaded.error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::u16string reason(reinterpret_cast<const char16_t*>(text), length);
        ::LocalFree(text);
        while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r')) {
            reason.pop_back();
        }
        throw XmlError("XmlLite cannot be loaded: " + utf8_of(reason));
    }
    return loaded.create;
}

/// Appends UTF-16 `text` to `out` in UTF-8.
void append_utf8_of(std::string& out, const wchar_t* text, std::size_t size) {
    append_utf8(out, std::u16string_view(reinterpret_cast<const char16_t*>(text), size));
}

std::string too_deep() {
    return "elements nested more than " + std::to_string(kMaxXmlDepth) + " deep";
}

/// XmlLite's reasons, in the words the expat build gives for the same faults.
std::string reason_of(HRESULT status) {
    switch (static_cast<unsigned long>(status)) {
        case MX_E_INPUTEND:
            return "no element found";
        case WC_E_ELEMENTMATCH:
            return "mismatched tag";
        case NC_E_UNDECLAREDPREFIX:
            return "unbound prefix";
        case WC_E_UNDECLAREDENTITY:
            return "undefined entity";
        case WC_E_DTDPROHIBITED:
            return "document type declarations are refused";
        case WC_E_UNIQUEATTRIBUTE:
            return "duplicate attribute";
        case MX_E_ENCODING:
        case WC_E_XMLCHARACTER:
            return "not well-formed (invalid token)";
        case SC_E_MAXELEMENTDEPTH:
            return too_deep();
    }
    char code[32];
    std::snprintf(code, sizeof code, "XmlLite error 0x%08lX", static_cast<unsigned long>(status));
    return code;
}

class XmlLiteReader final : public XmlReader {
public:
    explicit XmlLiteReader(ByteSource& input) : stream_(input), chunk_(kTextChunk) {
        IXmlReader* reader = nullptr;
        check(create_reader()(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader), nullptr));
        reader_.reset(reader);
        check(reader_->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit));
        // Checked in take_element() too, for the same words and line; the
        // margin keeps XmlLite's count, whatever it counts from, from coming first.
        check(reader_->SetProperty(XmlReaderProperty_MaxElementDepth,
                                   static_cast<LONG_PTR>(kMaxXmlDepth + 2)));
        check(bounded([&] { return reader_->SetInput(&stream_); }));
    }

    Node next() override {
        if (kind_ == Node::done) return kind_;
        if (kind_ == Node::start && empty_) {
            // XmlLite gives an empty element as one node; its end comes here.
            empty_ = false;
            arena_.clear();
            attributes_.clear();
            return kind_ = Node::end;
        }
        if (kind_ == Node::text && more_text_ && read_text()) return kind_;
        for (;;) {
            XmlNodeType type = XmlNodeType_None;
            const HRESULT status = bounded([&] { return reader_->Read(&type); });
            if (status == S_FALSE) {
                if (!rooted_ || depth_ != 0) fail("no element found");
                return kind_ = Node::done;
            }
            check(status);
            switch (type) {
                case XmlNodeType_Element:
                    take_element();
                    return kind_ = Node::start;
                case XmlNodeType_EndElement:
                    --depth_;
                    take_names();
                    return kind_ = Node::end;
                case XmlNodeType_Whitespace:
                    // Whitespace around the root is no text of the document.
                    if (depth_ == 0) {
                        while (read_chunk() != 0) {
                        }
                        continue;
                    }
                    [[fallthrough]];
                case XmlNodeType_Text:
                case XmlNodeType_CDATA:
                    if (!read_text()) continue;
                    return kind_ = Node::text;
                case XmlNodeType_Comment:
                case XmlNodeType_ProcessingInstruction:
                    pass_over();
                    continue;
                default:
                    continue;
            }
        }
    }

    std::string_view ns() const override { return kind_ == Node::text ? kNone : ns_; }
    std::string_view name() const override { return kind_ == Node::text ? kNone : name_; }
    std::string_view text() const override { return kind_ == Node::text ? text_ : kNone; }
    std::optional<std::string_view> attribute(std::string_view ns,
                                              std::string_view name) const override {
        for (const Attribute& a : attributes_) {
            if (view(a.name) == name && view(a.ns) == ns) return view(a.value);
        }
        return std::nullopt;
    }

    std::size_t attribute_count() const override { return attributes_.size(); }
    XmlAttribute attribute(std::size_t i) const override {
        const Attribute& a = attributes_[i];
        return {view(a.ns), view(a.name), view(a.value)};
    }

private:
    struct Release {
        void operator()(IUnknown* object) const { object->Release(); }
    };
    /// Bytes of the arena.
    struct Span {
        std::size_t at = 0, size = 0;
    };
    struct Attribute {
        Span ns, name, value;
    };
    static constexpr std::string_view kNone = {};
    /// Chunks of values, in UTF-16 units.
    static constexpr UINT kTextChunk = 16 << 10;
    /// What XmlLite may read beyond the node it is on.
    static constexpr std::uint64_t kReadAhead = 64 << 10;

    std::string_view view(Span span) const { return {arena_.data() + span.at, span.size}; }
    Span add(std::wstring_view text) {
        const std::size_t at = arena_.size();
        append_utf8_of(arena_, text.data(), text.size());
        return {at, arena_.size() - at};
    }

    void check(HRESULT status) const {
        if (SUCCEEDED(status)) return;
        if (stream_.failure) std::rethrow_exception(stream_.failure);
        if (status == E_OUTOFMEMORY) throw std::bad_alloc();
        fail(reason_of(status));
    }
    /// Runs `call`, which may read the input, allowing it what one node with
    /// its markup takes; when it asked for more, or the input failed, throws.
    template <typename Call>
    HRESULT bounded(Call call) {
        stream_.allow(kMaxXmlMarkup + kReadAhead);
        const HRESULT status = call();
        if (stream_.failure) std::rethrow_exception(stream_.failure);
        if (stream_.overrun) fail("markup too long");
        return status;
    }
    [[noreturn]] void fail(const std::string& reason) const {
        UINT line = 0;
        reader_->GetLineNumber(&line);
        throw XmlError(reason + " (line " + std::to_string(line == 0 ? 1 : line) + ").");
    }

    /// The current node's namespace URI or local name.
    std::wstring_view get(HRESULT (STDMETHODCALLTYPE IXmlReader::*name)(LPCWSTR*, UINT*)) const {
        const wchar_t* text = nullptr;
        UINT size = 0;
        check((reader_.get()->*name)(&text, &size));
        if (size > kMaxXmlMarkup) fail("markup too long");
        return {text, size};
    }

    void take_names() {
        const std::wstring_view ns = get(&IXmlReader::GetNamespaceUri);
        ns_.clear();
        append_utf8_of(ns_, ns.data(), ns.size());
        const std::wstring_view name = get(&IXmlReader::GetLocalName);
        name_.clear();
        append_utf8_of(name_, name.data(), name.size());
        arena_.clear();
        attributes_.clear();
    }

    void take_element() {
        rooted_ = true;
        if (depth_ >= kMaxXmlDepth) fail(too_deep());
        take_names();
        for (HRESULT status = reader_->MoveToFirstAttribute(); status != S_FALSE;
             status = reader_->MoveToNextAttribute()) {
            check(status);
            const std::wstring_view ns = get(&IXmlReader::GetNamespaceUri);
            // Namespace declarations are no attributes of the document.
            if (ns == L"http://www.w3.org/2000/xmlns/") continue;
            Attribute& a = attributes_.emplace_back();
            a.ns = add(ns);
            a.name = add(get(&IXmlReader::GetLocalName));
            a.value.at = arena_.size();
            std::size_t size = 0;
            for (UINT n; (n = read_chunk()) != 0;) {
                if ((size += n) > kMaxXmlMarkup) fail("markup too long");
                append_utf8_of(arena_, chunk_.data(), n);
            }
            a.value.size = arena_.size() - a.value.at;
        }
        check(reader_->MoveToElement());
        empty_ = reader_->IsEmptyElement();
        if (!empty_) ++depth_;
    }

    /// Reads the next chunk of the current node's value into chunk_; its
    /// size, 0 at the value's end.
    UINT read_chunk() {
        UINT size = 0;
        const HRESULT status =
            bounded([&] { return reader_->ReadValueChunk(chunk_.data(), kTextChunk, &size); });
        check(status);
        return status == S_OK ? size : 0;
    }

    /// Reads the next chunk of the current value into text_; false at its end.
    bool read_text() {
        const UINT size = read_chunk();
        more_text_ = size != 0;
        if (!more_text_) return false;
        text_.clear();
        append_utf8_of(text_, chunk_.data(), size);
        return true;
    }

    /// Reads the current comment or instruction to its end, refusing one
    /// longer than markup may be.
    void pass_over() {
        std::size_t size = 0;
        for (UINT n; (n = read_chunk()) != 0;) {
            if ((size += n) > kMaxXmlMarkup) fail("markup too long");
        }
    }

    SourceStream stream_;  // outlives the reader
    std::unique_ptr<IXmlReader, Release> reader_;
    Node kind_ = Node::start;
    bool empty_ = false;      // the current start is of an empty element
    bool more_text_ = false;  // the current text's value may go on
    bool rooted_ = false;     // the root element has begun
    std::size_t depth_ = 0;
    std::string ns_, name_, text_;
    std::string arena_;  // the attributes' names and values
    std::vector<Attribute> attributes_;
    std::vector<wchar_t> chunk_;
};

}  // namespace

std::unique_ptr<XmlReader> read_xml(ByteSource& input) {
    return std::make_unique<XmlLiteReader>(input);
}

}  // namespace convert
