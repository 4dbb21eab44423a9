// The ByteSource as the IStream XmlLite reads, comments rewritten so that
// XmlLite never reads one (Windows only).
#pragma once

#include <objidl.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "sources/byte_source.h"

namespace convert {

/// Rewrites each comment as a processing instruction that holds only the
/// comment's line ends, so that XmlLite never reads a comment: Wine's reads
/// freed memory in a long one. Both are passed over, and lines keep their
/// numbers.
class CommentFilter {
public:
    /// Appends `in` rewritten to `out`; false once a comment is longer than
    /// markup may be.
    bool add(std::string_view in, std::string& out);
    /// Appends what is held at the end of the input.
    void finish(std::string& out) const {
        if (state_ == State::bang) out += "!";
        if (state_ == State::dash) out += "!-";
    }

private:
    enum class State { text, lt, bang, dash, comment, instruction, cdata };
    State state_ = State::text;
    int ends_ = 0;
    std::size_t size_ = 0;  // of the current comment
};

/// The ByteSource as the IStream XmlLite reads; it only ever reads. What
/// the source throws is kept, to be thrown again once XmlLite has returned.
/// A read asked for once the bytes allowed have been read fails, and is
/// marked, as is a comment too long.
class SourceStream final : public IStream {
public:
    explicit SourceStream(ByteSource& input) : input_(input), block_(kBlock) {}

    /// Allows reads until `bytes` more have been read.
    void allow(std::uint64_t bytes) { allowed_ = bytes; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    // The reader that owns the stream outlives XmlLite's use of it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG size, ULONG* read) override;
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
    bool overrun = false;  // more was asked for than allowed

private:
    static constexpr std::size_t kBlock = 64 << 10;

    ByteSource& input_;
    std::uint64_t allowed_ = 0;
    std::vector<char> block_;  // read from the input
    CommentFilter filter_;
    std::string out_;  // filtered, of which at_ bytes have been read
    std::size_t at_ = 0;
    bool ended_ = false;
};

}  // namespace convert
