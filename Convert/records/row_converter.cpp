#include "records/row_converter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "text/utf8.h"

namespace convert {

namespace {

/// The field widths, in kDataBlock order.
constexpr std::array<std::size_t, kDataBlock.size()> kWidths = [] {
    std::array<std::size_t, kDataBlock.size()> widths{};
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        widths[i] = static_cast<std::size_t>(kDataBlock[i].width);
    }
    return widths;
}();

constexpr FieldBytes kHighs = 0x8080808080808080;

bool holds_line_break(std::string_view value) {
    return std::any_of(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; });
}

}  // namespace

RowConverter::RowConverter(const ColumnTable& table, const CodePage& code_page)
    : columns_(table.columns()),
      code_page_(code_page),
      high_bits_(code_page.number() == kUtf8CodePage ? 0 : kHighs) {
    // A header naming none of them may stand before rows that are all blank
    // or short: then no column is read.
    column_of_.fill(0);
    for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
        if (const std::size_t column = table.column_of(slot); column != ColumnTable::kAbsent) {
            wanted_.push_back({column, static_cast<std::uint8_t>(slot)});
            column_of_[slot] = column;
        }
    }
    std::sort(wanted_.begin(), wanted_.end(),
              [](const Wanted& a, const Wanted& b) { return a.column < b.column; });
    wanted_.push_back({ColumnTable::kAbsent, kUnread});
    in_order_ = wanted_.size() == kColumnCount + 1;
    for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
        in_order_ = in_order_ && column_of_[slot] == slot;
    }
    if (wanted_.size() == kColumnCount + 1 && columns_ <= kMostQuickColumns) {
        places_.starts.assign(columns_ + 64, 0);
        places_.sizes.assign(columns_ + 64, 0);
    }
}

bool RowConverter::append_usual(PaddedView row, TargetBuffer& output) const {
    if constexpr (std::endian::native != std::endian::little) return false;
    if (row.size() < kShortestRow || row.size() > UINT32_MAX) return false;
    // One 8-byte load per field, checked without branches: the usual row
    // takes none. A value holding a space anywhere (rare in these codes)
    // takes the careful way, which trims it.
    const std::uint32_t* const starts = places_.starts.data();
    const std::uint32_t* const sizes = places_.sizes.data();
    const auto value_of = [&](std::size_t slot) {
        return row.substr(starts[column_of_[slot]], sizes[column_of_[slot]]);
    };
    const PaddedView make = value_of(kMake).trimmed();
    const PaddedView model = value_of(kModel).trimmed();
    std::size_t any = make.size() | model.size();
    constexpr FieldBytes kOnes = 0x0101010101010101;
    // A byte above 0x7F may begin a character to write in the target's code
    // page: the careful way sees to it.
    FieldBytes unusual = beyond_ascii(make) || beyond_ascii(model) ? high_bits_ : 0;
    DataBlockBytes fields;
#pragma GCC unroll 16
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        const std::size_t column = column_of_[kFirstField + i];
        const std::size_t size = sizes[column];
        any |= size;
        FieldBytes bytes;
        std::memcpy(&bytes, row.data() + starts[column], sizeof bytes);
        const FieldBytes kept = kept_bytes(size);
        const FieldBytes value = bytes & kept;
        // A zero byte where the value has a space; none past its end, where
        // the value's bytes are zero.
        const FieldBytes spaces = value ^ kNoFieldBytes;
        unusual |= ((spaces - kOnes) & ~spaces & kHighs) | (value & high_bits_) |
                   FieldBytes{size > kWidths[i]};
        fields[i] = value | (kNoFieldBytes & ~kept);
    }
    // A row with no value read may be blank: the careful way tells.
    if (unusual != 0 || any == 0) return false;
    append_record(output, make, model, fields);
    return true;
}

void RowConverter::take_quick(PaddedView row) {
    for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
        const std::size_t column = column_of_[slot];
        values_[slot] = row.substr(places_.starts[column], places_.sizes[column]).trimmed();
    }
}

void RowConverter::start_row() {
    values_ = {};
    next_ = 0;
    refusal_.reset();
}

void RowConverter::take(std::size_t first_column, std::span<const PaddedView> values) {
    // The usual header: the columns read first, in their order.
    if (in_order_ && first_column == 0 && values.size() >= kColumnCount) {
        for (std::size_t slot = 0; slot < kColumnCount; ++slot)
            values_[slot] = values[slot].trimmed();
        next_ = kColumnCount;
        return;
    }
    // Columns before `first_column` not taken yet are empty.
    while (wanted_[next_].column < first_column) ++next_;
    for (std::size_t at; (at = wanted_[next_].column - first_column) < values.size();) {
        values_[wanted_[next_++].slot] = values[at].trimmed();
    }
}

void RowConverter::refuse(std::size_t column, const CellRefusal& refusal) {
    const bool read = std::any_of(wanted_.begin(), wanted_.end(),
                                  [&](const Wanted& w) { return w.column == column; });
    if (read && !refusal_) refusal_ = refusal;
}

std::array<bool, kColumnCount> RowConverter::write_in_code_page(bool any_beyond_ascii) {
    written_ = values_;
    std::array<bool, kColumnCount> writable;
    writable.fill(true);
    if (high_bits_ == 0 || !any_beyond_ascii) return writable;
    // Where each value written anew lies; the views are made once all are
    // in, as appending may move them.
    constexpr std::size_t kAsItStands = static_cast<std::size_t>(-1);
    std::array<std::pair<std::size_t, std::size_t>, kColumnCount> places;
    places.fill({kAsItStands, 0});
    encoded_.clear();
    for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
        // Values beyond ASCII that are no UTF-8 are in the code page already.
        if (!beyond_ascii(values_[slot]) || !is_strict_utf8(values_[slot])) continue;
        const std::size_t at = encoded_.size();
        writable[slot] = code_page_.encode(values_[slot], encoded_);
        places[slot] = {at, encoded_.size() - at};
    }
    in_code_page_.reserve(encoded_.size(), 0);
    std::memcpy(in_code_page_.data(), encoded_.data(), encoded_.size());
    for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
        const auto [at, size] = places[slot];
        if (at != kAsItStands) written_[slot] = in_code_page_.view(at, size);
    }
    return writable;
}

bool RowConverter::check(const RowShape& shape, RunReport& report) {
    const std::array<bool, kColumnCount> writable = write_in_code_page(shape.beyond_ascii);
    bool any = false;
    for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
        const PaddedView value = values_[slot];
        using Kind = ValueProblem::Kind;
        Kind kind;
        if (shape.line_breaks && holds_line_break(value)) {
            kind = Kind::line_break;
        } else if (!writable[slot]) {
            kind = Kind::not_in_code_page;
        } else if (slot >= kFirstField && written_[slot].size() > kWidths[slot - kFirstField]) {
            kind = Kind::too_long;
        } else {
            continue;
        }
        // Rare: made only for a value the target cannot take.
        ValueProblem problem{kind, values_[kMake], values_[kModel], kRunColumns[slot], value};
        if (kind == Kind::too_long) {
            problem.length = written_[slot].size();
            problem.width = kDataBlock[slot - kFirstField].width;
        }
        if (kind == Kind::not_in_code_page) problem.code_page = code_page_.number();
        report.problem(problem);
        any = true;
    }
    return any;
}

void RowConverter::append(TargetBuffer& output) const {
    DataBlockBytes bytes;
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        bytes[i] = field_bytes(written_[kFirstField + i]);
    }
    append_record(output, written_[kMake], written_[kModel], bytes);
}

}  // namespace convert
