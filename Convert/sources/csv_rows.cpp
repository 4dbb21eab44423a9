#include "sources/csv_rows.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace convert {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool only_spaces(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

CsvRows::CsvRows(ByteSource& source, std::size_t block_size, ChunkScanner scanner)
    : buffer_(source, block_size), scan_(scanner) {}

void CsvRows::start() {
    started_ = true;
    while (buffer_.size() < kByteOrderMark.size() && !buffer_.at_end()) buffer_.fill();
    if (std::string_view(buffer_.begin(), buffer_.size()).starts_with(kByteOrderMark)) {
        buffer_.use_up_to(buffer_.begin() + kByteOrderMark.size());
    }
    // The first line, up to its first CR or LF and the byte after a CR.
    std::size_t scanned = 0;  // from the first line's start
    const char* line_break = nullptr;
    for (;;) {
        line_break = std::find_if(buffer_.begin() + scanned, buffer_.end(),
                                  [](char c) { return c == '\r' || c == '\n'; });
        scanned = static_cast<std::size_t>(line_break - buffer_.begin());
        const bool decided =
            line_break + 1 < buffer_.end() || (line_break < buffer_.end() && *line_break == '\n');
        // A first line longer than any row may be is refused when it is read.
        if (decided || buffer_.at_end() || !buffer_.fill()) break;
    }
    line_break = buffer_.begin() + scanned;
    if (line_break != buffer_.end() && *line_break == '\n') {
        line_end_ = LineEnd::lf;
    } else if (line_break + 1 < buffer_.end() && line_break[1] != '\n') {
        line_end_ = LineEnd::cr;
    }
    const std::string_view line(buffer_.begin(), scanned);
    if (line.find(',') == std::string_view::npos && line.find(';') != std::string_view::npos) {
        separator_ = ';';
    }
    separators_in_a_row_ = std::max<std::size_t>(
        1, static_cast<std::size_t>(std::count(line.begin(), line.end(), separator_)));
}

CsvRows::Read CsvRows::read_quick(std::size_t columns, FieldPlaces& places, PaddedView& row) {
    if (!started_) start();
    // The separators and specials of 64 bytes at a time from the row's
    // start, one field boundary per separator bit, until the first special:
    // the row's line end, or a byte that sends it the careful way.
    std::uint32_t* const starts = places.starts.data();
    std::uint32_t* const sizes = places.sizes.data();
    const auto place = [&](std::size_t column, std::size_t start, std::size_t end) {
        starts[column] = static_cast<std::uint32_t>(start);
        sizes[column] = static_cast<std::uint32_t>(end - start);
    };
    // The last field of the row, and none for the columns it ends before.
    const auto place_last = [&](std::size_t column, std::size_t start, std::size_t end) {
        if (column >= columns) return;
        place(column, start, end);
        std::fill(starts + column + 1, starts + columns, 0);
        std::fill(sizes + column + 1, sizes + columns, 0);
    };
    for (;;) {
        const char* const p = buffer_.begin();
        const std::size_t size = buffer_.size();
        if (size == 0 && buffer_.at_end()) return Read::end;
        std::size_t column = 0;
        std::size_t start = 0;
        for (std::size_t chunk = 0; chunk < size; chunk += 64) {
            const ChunkMasks masks = scan_(p + chunk, separator_);
            const std::uint64_t inside =
                size - chunk >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (size - chunk)) - 1;
            const std::uint64_t specials = masks.specials & inside;
            const std::uint64_t before = specials != 0 ? (specials & (0 - specials)) - 1 : inside;
            if (column < columns) {
                for (std::uint64_t bits = masks.separators & before; bits != 0; bits &= bits - 1) {
                    const std::size_t at = chunk + static_cast<std::size_t>(std::countr_zero(bits));
                    place(column++, start, at);
                    start = at + 1;
                }
            }
            if (specials == 0) continue;
            const std::size_t at = chunk + static_cast<std::size_t>(std::countr_zero(specials));
            const std::size_t ends = line_end_at(p + at, p + size);
            if (ends == 0) return Read::careful;
            if (ends == kUndecided) break;
            place_last(column, start, at);
            row = buffer_.view(p, at);
            buffer_.use_up_to(p + at + ends);
            return row_read(at, Read::quick);
        }
        if (buffer_.at_end()) {
            // The last row, without a line end.
            place_last(column, start, size);
            row = buffer_.view(p, size);
            buffer_.use_up_to(p + size);
            return row_read(size, Read::quick);
        }
        if (!buffer_.fill()) return row_too_long();
    }
}

RowShape CsvRows::quick_shape(PaddedView row) const {
    return {
        row.size(),
        row.bytes().find_first_not_of(separator_ == ',' ? " ," : " ;") == std::string_view::npos,
        false, beyond_ascii(row)};
}

CsvRows::Read CsvRows::read(FieldTaker& fields, RowShape& shape) {
    if (!started_) start();
    for (;;) {
        const Read read = parse(fields, shape);
        if (read == Read::unclosed_quote) ++number_;
        if (read != Read::careful) return read;
        if (!buffer_.fill()) return row_too_long();
    }
}

CsvRows::Read CsvRows::parse(FieldTaker& fields, RowShape& shape) {
    const char* const first = buffer_.begin();
    const char* const end = buffer_.end();
    const bool at_end = buffer_.at_end();
    if (first == end) return at_end ? Read::end : Read::careful;
    // No value is longer than the row, which lies within these bytes.
    values_.reserve(buffer_.size(), 0);
    char* const values = values_.data();
    char* out = values;
    fields.start_row();
    shape.line_breaks = false;
    std::size_t column = 0;    // of the first value gathered
    std::size_t gathered = 0;  // values in gathered_
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
                if (at == end) return at_end ? Read::unclosed_quote : Read::careful;
                if (*at == '"') {
                    if (at + 1 == end && !at_end) return Read::careful;
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
                    shape.line_breaks = true;
                    out = std::copy_n(at, ends, out);
                    at += ends;
                    continue;
                }
                separators += *at == separator_;
                shape.line_breaks |= *at != separator_;
                *out++ = *at++;
            }
            ++at;  // the closing quote
            if (line_started_inside) {
                // The last line of a field across lines, up to its closing
                // quote, and what follows that quote tell whether it took in
                // rows. On one line, what follows is kept.
                if (separators >= separators_in_a_row_) return Read::unclosed_quote;
                if (at == end && !at_end) return Read::careful;
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
                if (!at_end) return Read::careful;
                break;
            }
            if (*at == separator_) break;
            ends = line_end_at(at, end);
            if (ends == kUndecided) return Read::careful;
            if (ends != 0) break;
            shape.line_breaks |= *at != '"';
            *out++ = *at++;  // a quote inside the field, or a line break of its value
        }
        // Handed on in groups: one call for a usual row.
        const bool row_ends = at == end || *at != separator_;
        gathered_[gathered++] = values_.view(static_cast<std::size_t>(value - values),
                                             static_cast<std::size_t>(out - value));
        if (gathered == gathered_.size() || row_ends) {
            fields.take(column, std::span(gathered_).first(gathered));
            column += gathered;
            gathered = 0;
        }
        if (row_ends) {
            shape.length = static_cast<std::size_t>(at - first);
            buffer_.use_up_to(at + ends);
            break;
        }
        ++at;
    }
    const PaddedView all = values_.view(0, static_cast<std::size_t>(out - values));
    shape.blank = only_spaces(all);
    shape.beyond_ascii = beyond_ascii(all);
    return row_read(shape.length);
}

}  // namespace convert
