// The input's IStream for XmlLite: the ByteSource read a block at a time,
// comments rewritten on the way, and no more handed over than allowed.

#include "containers/xml/xmllite_stream.h"

#include <algorithm>
#include <cstring>

#include "containers/xml/xml_parser.h"

namespace convert {

bool CommentFilter::add(std::string_view in, std::string& out) {
    for (std::size_t i = 0; i < in.size();) {
        if (state_ == State::text) {
            const std::size_t lt = in.find('<', i);
            if (lt == std::string_view::npos) {
                out.append(in.substr(i));
                return true;
            }
            out.append(in.substr(i, lt + 1 - i));
            state_ = State::lt;
            i = lt + 1;
            continue;
        }
        const char c = in[i++];
        // How much of the end of a comment ("-->"), an instruction ("?>")
        // or a CDATA section ("]]>") has been seen.
        const int ends = ends_;
        const char end = state_ == State::comment ? '-' : state_ == State::cdata ? ']' : '?';
        ends_ = c == end ? std::min(ends_ + 1, end == '?' ? 1 : 2) : 0;
        switch (state_) {
            case State::lt:  // "<" written
                if (c != '!') out += c;
                state_ = c == '!'   ? State::bang
                         : c == '?' ? State::instruction
                         : c == '<' ? State::lt
                                    : State::text;
                ends_ = 0;
                break;
            case State::bang:  // "!" held
                if (c != '-') out.append("!").push_back(c);
                state_ = c == '-' ? State::dash : c == '[' ? State::cdata : State::text;
                break;
            case State::dash:  // "!-" held
                out.append(c == '-' ? "?c" : "!-");
                if (c != '-') out += c;
                state_ = c == '-' ? State::comment : State::text;
                size_ = 0;
                ends_ = 0;
                break;
            case State::comment:
                if (c == '>' && ends == 2) {
                    out += "?>";
                    state_ = State::text;
                } else if (c == '\n' || c == '\r') {
                    out += c;
                }
                if (++size_ > kMaxXmlMarkup) return false;
                break;
            default:  // an instruction or a CDATA section
                out += c;
                if (c == '>' && ends == (state_ == State::cdata ? 2 : 1)) state_ = State::text;
                break;
        }
    }
    return true;
}

HRESULT STDMETHODCALLTYPE SourceStream::QueryInterface(REFIID id, void** object) {
    if (object == nullptr) return E_POINTER;
    if (id == __uuidof(IUnknown) || id == __uuidof(ISequentialStream) || id == __uuidof(IStream)) {
        *object = static_cast<IStream*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE SourceStream::Read(void* into, ULONG size, ULONG* read) {
    ULONG done = 0;
    if (read != nullptr) *read = 0;
    if (failure || overrun) return E_FAIL;
    if (allowed_ == 0) {
        overrun = true;
        return E_FAIL;
    }
    try {
        while (done < size) {
            if (at_ == out_.size()) {
                if (ended_) break;
                out_.clear();
                at_ = 0;
                const std::size_t n = input_.read(block_.data(), block_.size());
                ended_ = n == 0;
                if (ended_) filter_.finish(out_);
                if (!filter_.add({block_.data(), n}, out_)) {
                    overrun = true;
                    return E_FAIL;
                }
                continue;
            }
            const std::size_t n = std::min<std::size_t>(size - done, out_.size() - at_);
            std::memcpy(static_cast<char*>(into) + done, out_.data() + at_, n);
            at_ += n;
            done += static_cast<ULONG>(n);
        }
    } catch (...) {
        failure = std::current_exception();
        done = 0;
    }
    if (read != nullptr) *read = done;
    allowed_ -= std::min<std::uint64_t>(allowed_, done);
    if (failure) return E_FAIL;
    return done == size ? S_OK : S_FALSE;
}

}  // namespace convert
