// One row at a time into its record: a row's values, by the columns the
// header names, brought into the target's code page, checked, and written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/column_table.h"
#include "records/record_format.h"
#include "records/run_report.h"
#include "records/target_buffer.h"
#include "sources/padded_bytes.h"
#include "sources/row_source.h"
#include "text/code_page.h"

namespace convert {

/// The columns a run reads: MAKE and MODEL, then the data block in order.
inline constexpr std::size_t kMake = 0;
inline constexpr std::size_t kModel = 1;
inline constexpr std::size_t kFirstField = 2;
inline constexpr std::size_t kColumnCount = kFirstField + kDataBlock.size();
inline constexpr std::array<std::string_view, kColumnCount> kRunColumns = [] {
    std::array<std::string_view, kColumnCount> names{"MAKE", "MODEL"};
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) names[kFirstField + i] = kDataBlock[i].name;
    return names;
}();

class RowConverter : public FieldTaker {
public:
    /// `table` must name every column read. Values of MAKE, MODEL and the
    /// fields that are UTF-8 beyond ASCII are written in `code_page`, their
    /// widths counted in its bytes; all others are written as they stand.
    RowConverter(const ColumnTable& table, const CodePage& code_page);

    /// Where a row read the quick way is to note its fields, up to
    /// columns(); none when rows are read carefully only (the columns read
    /// lie so far apart that the places would take much memory).
    FieldPlaces* quick_places() { return places_.starts.empty() ? nullptr : &places_; }
    std::size_t columns() const { return columns_; }

    /// Appends the record of a usual row read the quick way (long enough,
    /// some value read, every value fitting, no data value holding a space)
    /// in one pass over its places. False, having written nothing, for any
    /// other row, which is then taken (take_quick) and checked value by value.
    bool append_usual(PaddedView row, TargetBuffer& output) const;
    /// Takes the values of a row read the quick way from its places.
    void take_quick(PaddedView row);

    // A row read carefully: the values of the columns read, by column.
    void start_row() override;
    void take(std::size_t first_column, std::span<const PaddedView> values) override;
    void refuse(std::size_t column, const CellRefusal& refusal) override;
    std::size_t columns_taken() const override { return columns_; }
    /// The first cell of the row's columns read that its source refused.
    const std::optional<CellRefusal>& refusal() const { return refusal_; }

    /// Brings the values taken into the target's code page, and reports
    /// every value the target cannot take, MAKE and MODEL first, then the
    /// fields in order; true when there was any.
    bool check(const RowShape& shape, RunReport& report);
    /// Appends the record of the row last checked.
    void append(TargetBuffer& output) const;

private:
    static constexpr std::uint8_t kUnread = kColumnCount;
    /// The most columns a row is read the quick way up to.
    static constexpr std::size_t kMostQuickColumns = 4096;

    struct Wanted {
        std::size_t column;
        std::uint8_t slot;
    };

    /// Sets written_ from values_, those beyond ASCII written anew when
    /// `beyond_ascii`; false for the values that cannot be written.
    std::array<bool, kColumnCount> write_in_code_page(bool beyond_ascii);

    std::size_t columns_;
    std::vector<Wanted> wanted_;  // by column, then a sentinel
    std::size_t next_ = 0;        // the next wanted of a row read carefully
    bool in_order_ = false;       // the columns read are the first, in their order
    std::array<std::size_t, kColumnCount> column_of_;  // each name's column
    FieldPlaces places_;                               // of a row read the quick way, by column
    const CodePage& code_page_;
    FieldBytes high_bits_;  // the bits of bytes that may need the code page
    // The values of a row taken, as the source holds them and as the target
    // will.
    std::array<PaddedView, kColumnCount> values_{};
    std::array<PaddedView, kColumnCount> written_{};
    std::string encoded_;        // the values written in the code page, one after another
    PaddedBuffer in_code_page_;  // and with their padding
    std::optional<CellRefusal> refusal_;
};

}  // namespace convert
