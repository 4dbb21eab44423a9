// A sheet's rows handed to its handler from its XML: each usual row read at
// once from the bytes, every other row by the parser, which reads all else.
#pragma once

#include <cstdint>
#include <memory>

#include "containers/xml/xml_parser.h"
#include "workbooks/sheet_xml/sheet_bytes.h"
#include "workbooks/sheet_xml/usual_row.h"
#include "workbooks/workbook_rows.h"

namespace convert {

class SheetXml {
public:
    /// `parser` reads `bytes`, read by rows from the start, and has just
    /// handed on the start of the element that holds the rows.
    SheetXml(SheetBytes& bytes, std::unique_ptr<XmlParser> parser, UsualRow usual,
             SheetReading reading);

    /// Hands on the next row, or what comes before it, to `handler`, until
    /// the handler pauses (at a row's end or the rows' end); false once the
    /// document has ended. `between_rows`: the handler stands between two
    /// rows, where a row may be read without the parser.
    bool run(XmlHandler& handler, bool between_rows);
    /// From within the handler.
    void pause();
    /// Reads the rest of the document.
    void finish();

private:
    SheetBytes& bytes_;
    std::unique_ptr<XmlParser> parser_;
    UsualRow usual_;
    bool usual_first_;
    bool clean_;  // the parser holds nothing
    bool parsing_ = false;
};

/// The rows read each way since the program started, the sheets' ends
/// among those the parser read.
struct RowsRead {
    std::uint64_t usual = 0, parsed = 0;
};
RowsRead rows_read();

}  // namespace convert
