// libFuzzer target: arbitrary bytes as a workbook. The first byte picks
// .xlsx or .ods, and whether the rest is the whole file (the zip's own
// directory under attack) or the sheet's XML inside a well-made workbook.
// Whatever comes, the reader ends with rows or a refusal that says why:
// never a crash, a hang, or memory without bound.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "containers/random_access.h"
#include "containers/xml_reader.h"
#include "containers/zip_archive.h"
#include "records/row_rules.h"
#include "workbooks/workbook_rows.h"
#include "zip_writer.h"

namespace {

using testing_support::make_zip;

std::string xlsx_around(std::string sheet) {
    const std::string main = "http://schemas.openxmlformats.org/";
    return make_zip({
        {"_rels/.rels", "<Relationships xmlns=\"" + main +
                            "package/2006/relationships\"><Relationship Id=\"r\" Type=\"" + main +
                            "officeDocument/2006/relationships/officeDocument\" "
                            "Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", "<workbook xmlns=\"" + main + "spreadsheetml/2006/main\" xmlns:r=\"" +
                                main +
                                "officeDocument/2006/relationships\"><sheets><sheet name=\"s\" "
                                "sheetId=\"1\" r:id=\"r\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships xmlns=\"" + main +
             "package/2006/relationships\"><Relationship Id=\"r\" Type=\"" + main +
             "officeDocument/2006/relationships/worksheet\" "
             "Target=\"worksheets/sheet1.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", std::move(sheet), false},
    });
}

std::string ods_around(std::string content) {
    return make_zip({
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
        {"content.xml", std::move(content), false},
    });
}

struct Silent : convert::RunReport {
    void problem(const convert::ValueProblem&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool xlsx = (data[0] & 1) != 0;
    const bool whole = (data[0] & 2) != 0;
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string file = whole ? rest : xlsx ? xlsx_around(rest) : ods_around(rest);
    convert::MemoryRandomAccess bytes(file);
    try {
        convert::StringSink sink;
        convert::TargetBuffer target(sink);
        Silent report;
        const auto rows = xlsx ? convert::xlsx_rows(bytes) : convert::ods_rows(bytes);
        convert::convert_rows(*rows, target, report);
        if (!sink.bytes.empty() && !sink.bytes.ends_with("\r\n")) {
            std::fprintf(stderr, "a target that does not end with CR LF\n");
            std::abort();
        }
    } catch (const convert::WorkbookError&) {
    } catch (const convert::ZipError&) {
    } catch (const convert::XmlError&) {
    } catch (const convert::ReadError&) {
    }
    return 0;
}
