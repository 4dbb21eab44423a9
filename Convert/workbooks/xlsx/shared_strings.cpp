#include "workbooks/xlsx/shared_strings.h"

#include <algorithm>

#include "containers/xml/xml_reader.h"
#include "text/utf8.h"
#include "workbooks/xlsx/xlsx_markup.h"

namespace convert::xlsx {

namespace {

constexpr auto kNone = std::string_view::npos;

constexpr int kNoEscape = -1;
constexpr int kCutShort = -2;  // the text ends where the escape may go on

int escape_at(std::string_view text, std::size_t at) {
    constexpr std::size_t kLength = 7;
    const std::size_t have = std::min(kLength, text.size() - at);
    int unit = 0;
    for (std::size_t i = 0; i < have; ++i) {
        const char c = text[at + i];
        if (i == 0 || i == 6) {
            if (c != '_') return kNoEscape;
        } else if (i == 1) {
            if (c != 'x') return kNoEscape;
        } else {
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) return kNoEscape;
            unit = unit * 16 + digit;
        }
    }
    return have < kLength ? kCutShort : unit;
}

}  // namespace

void EscapedText::decode(bool last) {
    std::string& s = *out_;
    std::size_t read = s.find('_', pending_);
    if (read == kNone) {
        pending_ = s.size();
        return;
    }
    std::size_t write = read;  // decoded text is never longer
    while (read < s.size()) {
        const int unit = s[read] == '_' ? escape_at(s, read) : kNoEscape;
        if (unit == kCutShort && !last) break;
        if (unit < 0) {
            s[write++] = s[read++];
            continue;
        }
        std::size_t used = 7;
        char32_t c = static_cast<char32_t>(unit);
        if (c >= 0xD800 && c < 0xDC00) {
            // A character beyond the first 65536: two escapes.
            const int low = escape_at(s, read + used);
            if (low == kCutShort && !last) break;
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + static_cast<char32_t>(low - 0xDC00);
                used += 7;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xDC00 && c < 0xE000) {
            c = 0xFFFD;
        }
        scratch_.clear();
        append_utf8(scratch_, c);
        s.replace(write, scratch_.size(), scratch_);
        write += scratch_.size();
        read += used;
    }
    s.erase(write, read - write);
    pending_ = write;
}

void SharedStrings::read(Package& package, const std::string& path) {
    const auto stream = package.open(path);
    // Its text is no longer than its XML: room for it all at once, so that
    // the table never grows past its bound by copying itself.
    const std::uint64_t size = package.find(path)->size;
    text_.reserve(std::min<std::uint64_t>(size, kMaxSharedStrings));
    const auto xml = read_xml(*stream);
    const auto check_size = [&](std::size_t more) {
        if (text_.size() + more + ends_.size() * sizeof(std::uint32_t) > kMaxSharedStrings) {
            unreadable("Its table of shared strings is larger than 64 MB.");
        }
    };
    EscapedText text;
    int phonetic = 0;  // <rPh> runs open: their text is not shown
    bool in_string = false, in_text = false;
    for (Node node; (node = xml->next()) != Node::done;) {
        if (node == Node::text) {
            if (in_text) {
                check_size(xml->text().size());
                text.append(xml->text());
            }
            continue;
        }
        if (!is_main(xml->ns())) continue;
        const std::string_view name = xml->name();
        if (node == Node::start) {
            if (name == "si") {
                text.begin(text_);
                in_string = true;
            } else if (name == "rPh") {
                ++phonetic;
            } else if (name == "t") {
                in_text = in_string && phonetic == 0;
            } else if (name == "sst") {
                // As many as it says, as far as its size and the bound allow.
                const auto count = whole_number<std::uint64_t>(attribute(*xml, "uniqueCount"));
                ends_.reserve(static_cast<std::size_t>(
                    std::min({count.value_or(0), size / 9, kMaxSharedStrings / 4})));
            }
        } else if (name == "t") {
            in_text = false;
        } else if (name == "rPh") {
            --phonetic;
        } else if (name == "si" && in_string) {
            in_string = false;
            text.finish();
            check_size(sizeof(std::uint32_t));
            ends_.push_back(static_cast<std::uint32_t>(text_.size()));
        }
    }
}

}  // namespace convert::xlsx
