// A CSV file's rows, read through a RowBuffer.
//
// The file's first line sets its dialect: its line end and its separator.
// The first CR or LF byte decides the line end: CR LF, a lone LF, or a lone
// CR. A CR LF ends a row in an LF file too (files joined from both systems),
// and a CR that is the file's last byte ends its last row. Fields are
// separated by commas, or by semicolons when the first line holds no comma
// and at least one semicolon. A field that begins with a quote runs to its
// closing quote, across line ends; "" inside stands for one quote, and
// whatever follows the closing quote up to the field's end is kept. Every
// other CR or LF byte belongs to the value it stands in. A UTF-8 byte-order
// mark is skipped.
//
// A quoted field that spans lines has taken in the rows after it, and its
// quote counts as never closed, when a line of it after its first (the last
// one up to the closing quote included) holds as many separators as the
// first line of the file, or when its closing quote is followed by anything
// but a separator or the row's end.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "sources/byte_scan.h"
#include "sources/byte_source.h"
#include "sources/padded_bytes.h"
#include "sources/row_buffer.h"
#include "sources/row_source.h"

namespace convert {

class CsvRows : public RowSource {
public:
    explicit CsvRows(ByteSource& source, std::size_t block_size = kBlockSize,
                     ChunkScanner scanner = fastest_chunk_scanner());

    /// Reads the next row field by field, quotes taken off.
    Read read(FieldTaker& fields, RowShape& shape) override;
    /// A plain row has no quote, and no CR or LF but its line end; its
    /// fields are found 64 bytes at a time.
    Read read_quick(std::size_t columns, FieldPlaces& places, PaddedView& row) override;
    RowShape quick_shape(PaddedView row) const override;
    std::size_t number() const override { return number_; }

private:
    enum class LineEnd { crlf, lf, cr };
    /// What line_end_at answers when the byte after a CR is yet to be read.
    static constexpr std::size_t kUndecided = 3;

    /// Reads the first line: the byte-order mark, the line end, the separator.
    void start();
    /// The length of the line end at `at`, before `end`: 0 when none stands
    /// there, kUndecided when that depends on bytes yet to be read.
    std::size_t line_end_at(const char* at, const char* end) const {
        if (*at == '\n') return line_end_ == LineEnd::lf ? 1 : 0;
        if (*at != '\r') return 0;
        if (line_end_ == LineEnd::cr) return 1;
        if (at + 1 == end) return buffer_.at_end() ? 1 : kUndecided;
        return at[1] == '\n' ? 2 : 0;
    }
    /// Answers `careful` when the row goes on past the bytes read so far.
    Read parse(FieldTaker& fields, RowShape& shape);
    /// The end of a row read whole, `size` bytes long: `row`, or `too_long`.
    Read row_read(std::size_t size, Read read = Read::row) {
        ++number_;
        return size > kLongestRow ? Read::too_long : read;
    }
    /// The end of a row that does not fit the longest buffer.
    Read row_too_long() {
        ++number_;
        return Read::too_long;
    }

    RowBuffer buffer_;
    ChunkScanner scan_;
    bool started_ = false;
    LineEnd line_end_ = LineEnd::crlf;
    char separator_ = ',';
    /// A quoted field that holds a whole line with this many separators has
    /// taken in rows: its quote is never closed.
    std::size_t separators_in_a_row_ = 1;
    std::size_t number_ = 0;
    PaddedBuffer values_;                    // the values of a row read carefully
    std::array<PaddedView, 64> gathered_{};  // values gathered for the taker
};

}  // namespace convert
