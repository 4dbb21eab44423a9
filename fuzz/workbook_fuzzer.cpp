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

#include "containers/xml/xml_reader.h"
#include "containers/zip_archive.h"
#include "records/row_rules.h"
#include "sources/byte_source.h"
#include "workbooks/workbook_rows.h"
#include "zip_writer.h"

namespace {

struct Silent : convert::RunReport {
    void problem(const convert::ValueProblem&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool xlsx = (data[0] & 1) != 0;
    const bool whole = (data[0] & 2) != 0;
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string file = whole  ? rest
                             : xlsx ? testing_support::xlsx_around(rest, false)
                                    : testing_support::ods_around(rest, false);
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
