#include "workbooks/workbook_rows.h"

#include <utility>

#include "containers/xml/xml_reader.h"
#include "containers/zip_archive.h"
#include "workbooks/ods/ods_sheet.h"
#include "workbooks/sheet_rows.h"
#include "workbooks/xlsx/xlsx_sheet.h"

namespace convert {

namespace {

enum class Kind { xlsx, ods };

/// Runs `work`, a failure of the zip or of a part's XML thrown as the
/// workbook's being unreadable, `part` the part being read.
template <class Work>
auto as_workbook_errors(Kind kind, const std::string& part, Work work) -> decltype(work()) {
    try {
        return work();
    } catch (const ZipError& e) {
        throw WorkbookError(WorkbookError::Kind::unreadable, e.what());
    } catch (const XmlError& e) {
        throw WorkbookError(WorkbookError::Kind::unreadable,
                            kind == Kind::xlsx
                                ? "The workbook's part " + part + " cannot be read: " + e.what()
                                : "The workbook's " + part + " is damaged: " + e.what());
    }
}

/// A workbook's rows, whatever fails within them told as the workbook's.
class WorkbookRows final : public RowSource {
public:
    template <class Open>
    WorkbookRows(Kind kind, Open open, const std::atomic<bool>* stop) : kind_(kind) {
        rows_ = as_workbook_errors(kind_, part_,
                                   [&] { return std::make_unique<SheetRows>(open(part_), stop); });
    }
    Read read(FieldTaker& fields, RowShape& shape) override {
        return as_workbook_errors(kind_, part_, [&] { return rows_->read(fields, shape); });
    }
    std::size_t number() const override { return rows_->number(); }

private:
    Kind kind_;
    std::string part_;  // the part being read; outlives the reader
    std::unique_ptr<SheetRows> rows_;
};

}  // namespace

std::unique_ptr<RowSource> xlsx_rows(RandomAccessSource& file, const std::atomic<bool>* stop,
                                     SheetReading reading) {
    return std::make_unique<WorkbookRows>(
        Kind::xlsx, [&](std::string& part) { return xlsx_sheet(file, part, reading); }, stop);
}

std::unique_ptr<RowSource> ods_rows(RandomAccessSource& file, const std::atomic<bool>* stop,
                                    SheetReading reading) {
    return std::make_unique<WorkbookRows>(
        Kind::ods, [&](std::string& part) { return ods_sheet(file, part, reading); }, stop);
}

}  // namespace convert
