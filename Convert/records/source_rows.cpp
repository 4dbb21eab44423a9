#include "records/source_rows.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "text/ascii_text.h"

namespace convert {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// An old end-of-file mark (Ctrl-Z), dropped when it is the file's last byte.
constexpr char kEndOfFileMark = '\x1A';

/// The most bytes a row takes in the buffer: the longest row and its line end.
constexpr std::size_t kLargestBuffer = kLongestRow + 2;

/// A block, or less for a source known to be smaller: one byte more than the
/// source, so that its end is seen without a second, larger buffer.
std::size_t buffer_size(const ByteSource& source, std::size_t block_size) {
    const std::size_t hint = source.size_hint();
    const std::size_t size = hint != 0 && hint < block_size ? hint + 1 : block_size;
    return std::max<std::size_t>(size, 1);
}

bool only_spaces(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

SourceRows::SourceRows(ByteSource& source, std::size_t block_size, ChunkScanner scanner)
    : source_(source),
      scan_(scanner),
      buffer_(std::make_unique<char[]>(buffer_size(source, block_size) + kRowPadding)),
      capacity_(buffer_size(source, block_size)) {}

void SourceRows::start() {
    started_ = true;
    while (end_ < kByteOrderMark.size() && !at_end_) fill();
    if (std::string_view(buffer_.get(), end_).starts_with(kByteOrderMark)) {
        begin_ = kByteOrderMark.size();
    }
    // The first line, up to its first CR or LF and the byte after a CR.
    std::size_t scanned = begin_;
    const char* line_break = nullptr;
    for (;;) {
        const char* const base = buffer_.get();
        line_break = std::find_if(base + scanned, base + end_,
                                  [](char c) { return c == '\r' || c == '\n'; });
        scanned = static_cast<std::size_t>(line_break - base);
        const bool decided = scanned + 1 < end_ || (scanned < end_ && *line_break == '\n');
        if (decided || at_end_) break;
        const std::size_t kept_from = begin_;
        // Moves the unused bytes to the front; a first line longer than any
        // row may be is refused when it is read.
        if (!fill()) break;
        scanned -= kept_from;
    }
    const char* const first = buffer_.get() + begin_;
    if (line_break != buffer_.get() + end_ && *line_break == '\n') {
        line_end_ = LineEnd::lf;
    } else if (line_break + 1 < buffer_.get() + end_ && line_break[1] != '\n') {
        line_end_ = LineEnd::cr;
    }
    const std::string_view line(first, static_cast<std::size_t>(line_break - first));
    if (line.find(',') == std::string_view::npos && line.find(';') != std::string_view::npos) {
        separator_ = ';';
    }
    separators_in_a_row_ = std::max<std::size_t>(
        1, static_cast<std::size_t>(std::count(line.begin(), line.end(), separator_)));
}

bool SourceRows::fill() {
    // An end-of-file mark read last stays out of sight until the next read
    // tells whether it is the file's last byte.
    const std::size_t kept = end_ - begin_ + (mark_held_ ? 1 : 0);
    if (kept == capacity_) {
        // One row fills the whole buffer: make room for the rest of it.
        if (capacity_ >= kLargestBuffer) return false;
        const std::size_t larger = std::min(capacity_ * 2, kLargestBuffer);
        auto grown = std::make_unique<char[]>(larger + kRowPadding);
        std::memcpy(grown.get(), buffer_.get() + begin_, kept);
        buffer_ = std::move(grown);
        capacity_ = larger;
    } else if (begin_ != 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, kept);
    }
    begin_ = 0;
    end_ = kept;
    const std::size_t n = source_.read(buffer_.get() + end_, capacity_ - end_);
    end_ += n;
    at_end_ = n == 0;
    mark_held_ = end_ != 0 && buffer_[end_ - 1] == kEndOfFileMark;
    if (mark_held_) --end_;
    // Dropped at the end; kept with the bytes after it otherwise.
    mark_held_ = mark_held_ && !at_end_;
    return true;
}

SourceRows::Read SourceRows::read_careful(FieldTaker& fields, RowShape& row) {
    if (!started_) start();
    for (;;) {
        const Read read = parse_careful(fields, row);
        if (read == Read::unclosed_quote) ++number_;
        if (read != Read::careful) return read;
        if (!fill()) return row_too_long();
    }
}

// Answers `careful` when the row goes on past the bytes read so far.
SourceRows::Read SourceRows::parse_careful(FieldTaker& fields, RowShape& row) {
    const char* const first = buffer_.get() + begin_;
    const char* const end = buffer_.get() + end_;
    if (first == end) return at_end_ ? Read::end : Read::careful;
    // No value is longer than the row, which lies within these bytes.
    if (values_.size() < static_cast<std::size_t>(end - first) + kRowPadding) {
        values_.resize(static_cast<std::size_t>(end - first) + kRowPadding);
    }
    char* out = values_.data();
    fields.start_row();
    row.line_breaks = false;
    std::size_t column = 0;    // of the first field gathered
    std::size_t gathered = 0;  // fields in taken_
    const char* at = first;
    // Copies the plain bytes from `at` on: those that neither end a field
    // nor need a second look. The scanner finds them 64 bytes at a time, and
    // its masks serve every field in those 64 bytes; the copy goes 8 bytes
    // at a time, into the values' padding and from the row's.
    const char* window = end;
    std::uint64_t stops = 0;  // the separators and specials of the 64 bytes from `window`
    const auto copy_plain = [&] {
        for (;;) {
            if (at < window || at - window >= 64) {
                window = at;
                const ChunkMasks masks = scan_(at, separator_);
                stops = masks.separators | masks.specials;
            }
            const std::uint64_t ahead = stops >> (at - window);
            const char* const stop =
                std::min(ahead != 0 ? at + std::countr_zero(ahead) : window + 64, end);
            const auto run = static_cast<std::size_t>(stop - at);
            for (std::size_t i = 0; i < run; i += 8) std::memcpy(out + i, at + i, 8);
            out += run;
            at = stop;
            if (ahead != 0 || at == end) return;
        }
    };
    for (;;) {
        char* const value = out;
        if (at != end && *at == '"') {
            // A quoted field, to its closing quote. A whole line inside it
            // holding as many separators as a row has means a quote opened
            // by mistake has taken in the rows after it.
            std::size_t separators = 0;
            bool line_started_inside = false;
            for (++at;;) {
                copy_plain();
                if (at == end) return at_end_ ? Read::unclosed_quote : Read::careful;
                if (*at == '"') {
                    if (at + 1 == end && !at_end_) return Read::careful;
                    if (at + 1 == end || at[1] != '"') break;
                    *out++ = '"';
                    at += 2;
                    continue;
                }
                const std::size_t ends = line_end_at(at, end);
                if (ends == kUndecided) return Read::careful;
                if (ends != 0) {
                    if (line_started_inside && separators >= separators_in_a_row_) {
                        return Read::unclosed_quote;
                    }
                    line_started_inside = true;
                    separators = 0;
                    row.line_breaks = true;
                    out = std::copy_n(at, ends, out);
                    at += ends;
                    continue;
                }
                separators += *at == separator_;
                row.line_breaks |= *at != separator_;
                *out++ = *at++;
            }
            ++at;  // the closing quote
            if (line_started_inside) {
                // The last line of a field across lines, up to its closing
                // quote, and what follows that quote tell whether it took in
                // rows. On one line, what follows is kept.
                if (separators >= separators_in_a_row_) return Read::unclosed_quote;
                if (at == end && !at_end_) return Read::careful;
                if (at != end && *at != separator_) {
                    const std::size_t ends = line_end_at(at, end);
                    if (ends == kUndecided) return Read::careful;
                    if (ends == 0) return Read::unclosed_quote;
                }
            }
        }
        std::size_t ends = 0;
        for (;;) {
            copy_plain();
            if (at == end) {
                if (!at_end_) return Read::careful;
                break;
            }
            if (*at == separator_) break;
            ends = line_end_at(at, end);
            if (ends == kUndecided) return Read::careful;
            if (ends != 0) break;
            row.line_breaks |= *at != '"';
            *out++ = *at++;  // a quote inside the field, or a line break of its value
        }
        // Handed on in groups: one call for a usual row.
        taken_[gathered++] = std::string_view(value, static_cast<std::size_t>(out - value));
        if (gathered == taken_.size() || at == end || *at != separator_) {
            fields.take(column, std::span(taken_).first(gathered));
            column += gathered;
            gathered = 0;
        }
        if (at == end || *at != separator_) {
            row.bytes = std::string_view(first, static_cast<std::size_t>(at - first));
            begin_ = static_cast<std::size_t>(at + ends - buffer_.get());
            break;
        }
        ++at;
    }
    const std::string_view all(values_.data(), static_cast<std::size_t>(out - values_.data()));
    row.blank = only_spaces(all);
    row.beyond_ascii = beyond_ascii(all);
    return row_read(row.bytes.size());
}

}  // namespace convert
