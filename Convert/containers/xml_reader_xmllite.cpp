// The XML reader over XmlLite, which Windows carries. MinGW has its header
// but no import library, so it is loaded at run time, from the system folder
// only. XmlLite reads through an IStream of our own over the ByteSource.

#include <windows.h>
#include <xmllite.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <string>
#include <vector>

#include "containers/xml_reader.h"
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

/// The ByteSource as the IStream XmlLite reads; it only ever reads. What
/// the source throws is kept, to be thrown again once XmlLite has failed.
class SourceStream final : public IStream {
public:
    explicit SourceStream(ByteSource& input) : input_(input) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (id == __uuidof(IUnknown) || id == __uuidof(ISequentialStream) ||
            id == __uuidof(IStream)) {
            *object = static_cast<IStream*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The reader that owns the stream outlives XmlLite's use of it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG size, ULONG* read) override {
        ULONG done = 0;
        try {
            while (done < size) {
                const std::size_t n = input_.read(static_cast<char*>(into) + done, size - done);
                if (n == 0) break;
                done += static_cast<ULONG>(n);
            }
        } catch (...) {
            failure = std::current_exception();
            done = 0;
        }
        if (read != nullptr) *read = done;
        if (failure) return E_FAIL;
        return done == size ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

    std::exception_ptr failure;

private:
    ByteSource& input_;
};

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
            return "elements nested too deep";
    }
    char code[32];
    std::snprintf(code, sizeof code, "XmlLite error 0x%08lX", static_cast<unsigned long>(status));
    return code;
}

class XmlLiteReader final : public XmlReader {
public:
    explicit XmlLiteReader(ByteSource& input) : stream_(input) {
        IXmlReader* reader = nullptr;
        check(create_reader()(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader), nullptr));
        reader_.reset(reader);
        check(reader_->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit));
        check(reader_->SetInput(&stream_));
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
            const HRESULT status = reader_->Read(&type);
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
                case XmlNodeType_Text:
                case XmlNodeType_CDATA:
                case XmlNodeType_Whitespace:
                    // Whitespace around the root is no text of the document.
                    if (depth_ == 0 || !read_text()) continue;
                    return kind_ = Node::text;
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
    /// Chunks of text, in UTF-16 units.
    static constexpr UINT kTextChunk = 16 << 10;

    std::string_view view(Span span) const { return {arena_.data() + span.at, span.size}; }
    Span add(const wchar_t* text, UINT size) {
        const std::size_t at = arena_.size();
        append_utf8_of(arena_, text, size);
        return {at, arena_.size() - at};
    }

    void check(HRESULT status) const {
        if (SUCCEEDED(status)) return;
        if (stream_.failure) std::rethrow_exception(stream_.failure);
        fail(reason_of(status));
    }
    [[noreturn]] void fail(const std::string& reason) const {
        UINT line = 0;
        reader_->GetLineNumber(&line);
        throw XmlError(reason + " (line " + std::to_string(line == 0 ? 1 : line) + ").");
    }

    void take_names() {
        const wchar_t* text = nullptr;
        UINT size = 0;
        check(reader_->GetNamespaceUri(&text, &size));
        ns_.clear();
        append_utf8_of(ns_, text, size);
        check(reader_->GetLocalName(&text, &size));
        name_.clear();
        append_utf8_of(name_, text, size);
        arena_.clear();
        attributes_.clear();
    }

    void take_element() {
        rooted_ = true;
        take_names();
        for (HRESULT status = reader_->MoveToFirstAttribute(); status != S_FALSE;
             status = reader_->MoveToNextAttribute()) {
            check(status);
            const wchar_t* text = nullptr;
            UINT size = 0;
            check(reader_->GetNamespaceUri(&text, &size));
            // Namespace declarations are no attributes of the document.
            static constexpr std::wstring_view kXmlns = L"http://www.w3.org/2000/xmlns/";
            if (std::wstring_view(text, size) == kXmlns) continue;
            Attribute& a = attributes_.emplace_back();
            a.ns = add(text, size);
            check(reader_->GetLocalName(&text, &size));
            a.name = add(text, size);
            check(reader_->GetValue(&text, &size));
            if (size > kMaxXmlMarkup) fail("markup too long");
            a.value = add(text, size);
        }
        check(reader_->MoveToElement());
        empty_ = reader_->IsEmptyElement();
        if (!empty_) ++depth_;
    }

    /// Reads the next chunk of the current value into text_; false at its end.
    bool read_text() {
        chunk_.resize(kTextChunk);
        UINT size = 0;
        const HRESULT status = reader_->ReadValueChunk(chunk_.data(), kTextChunk, &size);
        check(status);
        more_text_ = status == S_OK && size != 0;
        if (!more_text_) return false;
        text_.clear();
        append_utf8_of(text_, chunk_.data(), size);
        return true;
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
