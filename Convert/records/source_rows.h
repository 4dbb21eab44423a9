// A source file's rows, read a block at a time: memory stays at one block,
// or at the longest row when a row is longer than a block.
//
// The file's first line sets its line end and its separator. The first CR or
// LF byte decides the line end: CR LF, a lone LF, or a lone CR. A CR LF ends
// a row in an LF file too (files joined from both systems), and a CR that is
// the file's last byte ends its last row. Fields are separated by commas, or
// by semicolons when the first line holds no comma and at least one
// semicolon. A field that begins with a quote runs to its closing quote,
// across line ends; "" inside stands for one quote, and whatever follows the
// closing quote up to the field's end is kept. Every other CR or LF byte
// belongs to the value it stands in. A UTF-8 byte-order mark is skipped.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/byte_scan.h"
#include "records/byte_source.h"

namespace convert {

/// How many readable bytes follow every row and value SourceRows hands out,
/// so that they may be read many bytes at a time past their end.
inline constexpr std::size_t kRowPadding = 64;

class SourceRows {
public:
    explicit SourceRows(ByteSource& source, std::size_t block_size = kBlockSize,
                        ChunkScanner scanner = fastest_chunk_scanner());

    enum class Read {
        row,             // a row was read
        end,             // no byte is left where a row would begin
        careful,         // the next row holds a quote or a line break: read_careful it
        unclosed_quote,  // a quoted field of the next row is never closed
    };

    /// The number of the row last read, or of the row whose quote is never
    /// closed, as a spreadsheet counts: 1 for the first, one for each row
    /// however many lines its cells hold.
    std::size_t number() const { return number_; }

    /// Reads the next row when it is plain: no quote, and no CR or LF but its
    /// line end. Calls visit(column, offset, size) for its fields as they
    /// stand, by their offset in the row, in order up to `columns` (some
    /// past it may be visited too, none the row ends before), and sets `row`
    /// to the row's bytes without its line end, which stay valid until the
    /// next read. Answers `careful`, having read nothing, for a row that is
    /// not plain; fields visited meanwhile are of no use. Throws ReadError.
    template <typename Visit>
    Read read_plain(std::size_t columns, Visit visit, std::string_view& row);

    /// What a careful reading tells of a row besides its fields.
    struct RowShape {
        std::string_view bytes;  // the row without its line end
        bool blank;              // every field holds nothing but spaces
        bool line_breaks;        // some field holds a CR or an LF
        bool beyond_ascii;       // some field holds a byte above 0x7F
    };

    /// Reads the next row field by field. fields() then holds its first
    /// `kept` fields with their quotes taken off, valid until the next read.
    /// Throws ReadError.
    Read read_careful(std::size_t kept, RowShape& row);
    std::span<const std::string_view> fields() const { return fields_; }

    /// Whether a row read plain holds nothing but spaces and separators.
    bool blank(std::string_view row) const {
        return row.find_first_not_of(separator_ == ',' ? " ," : " ;") == std::string_view::npos;
    }

private:
    enum class LineEnd { crlf, lf, cr };
    /// What line_end_at answers when the byte after a CR is yet to be read.
    static constexpr std::size_t kUndecided = 3;

    /// Reads the first line: the byte-order mark, the line end, the separator.
    void start();
    /// Reads more bytes after the unused ones, keeping those.
    void fill();
    /// The length of the line end at `at`, before `end`: 0 when none stands
    /// there, kUndecided when that depends on bytes yet to be read.
    std::size_t line_end_at(const char* at, const char* end) const {
        if (*at == '\n') return line_end_ == LineEnd::lf ? 1 : 0;
        if (*at != '\r') return 0;
        if (line_end_ == LineEnd::cr) return 1;
        if (at + 1 == end) return at_end_ ? 1 : kUndecided;
        return at[1] == '\n' ? 2 : 0;
    }
    Read parse_careful(std::size_t kept, RowShape& row);

    ByteSource& source_;
    ChunkScanner scan_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t begin_ = 0;  // where the next row begins
    std::size_t end_ = 0;
    bool at_end_ = false;
    bool started_ = false;
    LineEnd line_end_ = LineEnd::crlf;
    char separator_ = ',';
    /// A quoted field that holds a whole line with this many separators has
    /// taken in rows: its quote is never closed.
    std::size_t separators_in_a_row_ = 1;
    std::size_t number_ = 0;
    std::string values_;                                      // the values of fields read carefully
    std::vector<std::pair<std::size_t, std::size_t>> spans_;  // each kept one's place in values_
    std::vector<std::string_view> fields_;
};

template <typename Visit>
SourceRows::Read SourceRows::read_plain(std::size_t columns, Visit visit, std::string_view& row) {
    if (!started_) start();
    // The separators and specials of 64 bytes at a time from the row's
    // start, one field boundary per separator bit, until the first special:
    // the row's line end, or a byte that sends it the careful way.
    for (;;) {
        const char* const p = buffer_.get() + begin_;
        const std::size_t size = end_ - begin_;
        if (size == 0 && at_end_) return Read::end;
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
                    visit(column++, start, at - start);
                    start = at + 1;
                }
            }
            if (specials == 0) continue;
            const std::size_t at = chunk + static_cast<std::size_t>(std::countr_zero(specials));
            const std::size_t ends = line_end_at(p + at, p + size);
            if (ends == 0) return Read::careful;
            if (ends == kUndecided) break;
            if (column < columns) visit(column, start, at - start);
            row = std::string_view(p, at);
            begin_ += at + ends;
            ++number_;
            return Read::row;
        }
        if (at_end_) {
            // The last row, without a line end.
            if (column < columns) visit(column, start, size - start);
            row = std::string_view(p, size);
            begin_ = end_;
            ++number_;
            return Read::row;
        }
        fill();
    }
}

}  // namespace convert
