#include "records/row_rules.h"

#include <utility>

#include "records/column_table.h"
#include "records/record_format.h"
#include "records/row_converter.h"

namespace convert {

RowsResult convert_rows(RowSource& rows, TargetBuffer& output, RunReport& report,
                        const CodePage& code_page) {
    using Read = RowSource::Read;
    const auto refuse = [&](RowsEnd end, std::size_t row = 0) {
        output.abandon();
        return RowsResult{end, row};
    };
    const auto refuse_cell = [&](const CellRefusal& cell) {
        RowsResult result = refuse(RowsEnd::cell_refused, rows.number());
        result.cell = cell;
        return result;
    };
    RowShape shape;
    // The header row: its quotes, its names, then the rows after it.
    ColumnTable table(kRunColumns);
    switch (rows.read(table, shape)) {
        case Read::unclosed_quote:
            return refuse(RowsEnd::unclosed_quote, rows.number());
        case Read::too_long:
            return refuse(RowsEnd::row_too_long, rows.number());
        case Read::end:
            return refuse(RowsEnd::no_rows);
        default:
            break;
    }
    if (table.refusal()) return refuse_cell(*table.refusal());
    if (shape.length >= kShortestRow && !table.has_any()) {
        // Not a source file (a UTF-16 file's names hold zero bytes, say).
        return refuse(RowsEnd::no_known_column);
    }
    if (table.has_any()) {
        // A column missing would leave its values out of every record.
        if (std::vector<std::string_view> missing = table.missing(); !missing.empty()) {
            RowsResult result = refuse(RowsEnd::missing_columns);
            result.missing = std::move(missing);
            return result;
        }
    }
    RowConverter converter(table, code_page);
    FieldPlaces* const places = converter.quick_places();
    // A short row ends the data when no data row follows it; a short header
    // gives no data.
    std::size_t short_row = shape.length < kShortestRow ? rows.number() : 0;
    bool valid = true;
    std::size_t data_rows = 0;
    for (;;) {
        Read read = Read::careful;
        if (places != nullptr) {
            PaddedView row;
            read = rows.read_quick(converter.columns(), *places, row);
            if (read == Read::quick) {
                if (valid && short_row == 0 && converter.append_usual(row, output)) {
                    ++data_rows;
                    continue;
                }
                converter.take_quick(row);
                shape = rows.quick_shape(row);
                read = Read::row;
            }
        }
        if (read == Read::careful) read = rows.read(converter, shape);
        if (read == Read::end) break;
        if (read == Read::unclosed_quote) return refuse(RowsEnd::unclosed_quote, rows.number());
        if (read == Read::too_long) return refuse(RowsEnd::row_too_long, rows.number());
        if (shape.blank) continue;
        if (shape.length < kShortestRow) {
            if (short_row == 0) short_row = rows.number();
            continue;
        }
        if (short_row != 0) return refuse(RowsEnd::rows_after_short_row, short_row);
        if (converter.refusal()) return refuse_cell(*converter.refusal());
        ++data_rows;
        if (converter.check(shape, report) && valid) {
            // The target will never be written: stop building it.
            valid = false;
            output.abandon();
        }
        if (valid) converter.append(output);
    }
    if (!valid) return {RowsEnd::values_rejected};
    if (data_rows == 0) return refuse(RowsEnd::no_rows);
    output.append(kFileEnd);
    output.flush();
    return {RowsEnd::converted};
}

}  // namespace convert
