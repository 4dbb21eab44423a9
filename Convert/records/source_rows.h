// A source file's rows, read a block at a time: memory stays at one block,
// or at the longest row when a row is longer than a block, and no row may be
// longer than kLongestRow.
//
// The file's first line sets its line end and its separator. The first CR or
// LF byte decides the line end: CR LF, a lone LF, or a lone CR. A CR LF ends
// a row in an LF file too (files joined from both systems), and a CR that is
// the file's last byte ends its last row. Fields are separated by commas, or
// by semicolons when the first line holds no comma and at least one
// semicolon. A field that begins with a quote runs to its closing quote,
// across line ends; "" inside stands for one quote, and whatever follows the
// closing quote up to the field's end is kept. Every other CR or LF byte
// belongs to the value it stands in. A UTF-8 byte-order mark is skipped, and
// a Ctrl-Z that is the file's last byte (an old end-of-file mark) dropped.
//
// A quoted field that spans lines has taken in the rows after it, and its
// quote counts as never closed, when a line of it after its first (the last
// one up to the closing quote included) holds as many separators as the
// first line of the file, or when its closing quote is followed by anything
// but a separator or the row's end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "records/byte_scan.h"
#include "records/byte_source.h"

namespace convert {

/// How many readable bytes follow every row and value SourceRows hands out,
/// so that they may be read many bytes at a time past their end.
inline constexpr std::size_t kRowPadding = 64;

/// The longest row, all its lines, its line end not counted: 16 MiB.
inline constexpr std::size_t kLongestRow = std::size_t{16} << 20;

/// Takes the fields of a row read carefully, as the reading finds them.
class FieldTaker {
public:
    /// The row is read from its start, again after more bytes were read:
    /// forget its fields so far.
    virtual void start_row() = 0;
    /// The row's fields from `first_column` on, in order, their quotes taken
    /// off; the views stay valid until the next read.
    virtual void take(std::size_t first_column, std::span<const std::string_view> values) = 0;

protected:
    ~FieldTaker() = default;
};

class SourceRows {
public:
    explicit SourceRows(ByteSource& source, std::size_t block_size = kBlockSize,
                        ChunkScanner scanner = fastest_chunk_scanner());

    enum class Read {
        row,             // a row was read
        end,             // no byte is left where a row would begin
        careful,         // the next row holds a quote or a line break: read_careful it
        unclosed_quote,  // a quoted field of the next row is never closed
        too_long,        // the next row is longer than kLongestRow
    };

    /// The number of the row last read, or of the row whose quote is never
    /// closed or that is too long, as a spreadsheet counts: 1 for the first, one for each row
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

    /// Reads the next row field by field, handing each to `fields`. Throws
    /// ReadError.
    Read read_careful(FieldTaker& fields, RowShape& row);

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
    /// Reads more bytes after the unused ones, keeping those; false, having
    /// read nothing, when they fill the longest buffer a row may take.
    bool fill();
    /// The length of the line end at `at`, before `end`: 0 when none stands
    /// there, kUndecided when that depends on bytes yet to be read.
    std::size_t line_end_at(const char* at, const char* end) const {
        if (*at == '\n') return line_end_ == LineEnd::lf ? 1 : 0;
        if (*at != '\r') return 0;
        if (line_end_ == LineEnd::cr) return 1;
        if (at + 1 == end) return at_end_ ? 1 : kUndecided;
        return at[1] == '\n' ? 2 : 0;
    }
    Read parse_careful(FieldTaker& fields, RowShape& row);
    /// The end of a row read whole, `size` bytes long: `row`, or `too_long`.
    Read row_read(std::size_t size) {
        ++number_;
        return size > kLongestRow ? Read::too_long : Read::row;
    }
    /// The end of a row that does not fit the longest buffer.
    Read row_too_long() {
        ++number_;
        return Read::too_long;
    }

    ByteSource& source_;
    ChunkScanner scan_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t begin_ = 0;  // where the next row begins
    std::size_t end_ = 0;
    bool at_end_ = false;
    bool mark_held_ = false;  // an end-of-file mark follows end_, yet to be judged
    bool started_ = false;
    LineEnd line_end_ = LineEnd::crlf;
    char separator_ = ',';
    /// A quoted field that holds a whole line with this many separators has
    /// taken in rows: its quote is never closed.
    std::size_t separators_in_a_row_ = 1;
    std::size_t number_ = 0;
    std::string values_;  // the values of a row read carefully
    std::array<std::string_view, 64> taken_;  // fields gathered for the taker
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
            return row_read(at);
        }
        if (at_end_) {
            // The last row, without a line end.
            if (column < columns) visit(column, start, size - start);
            row = std::string_view(p, size);
            begin_ = end_;
            return row_read(size);
        }
        if (!fill()) return row_too_long();
    }
}

}  // namespace convert
