#include "source_generator.h"

#include <stdlib.h>

#include <fstream>
#include <map>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "zip_writer.h"

namespace bench {

namespace fs = std::filesystem;

const fs::path& work_folder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "convert-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        return fs::path(pattern);
    }();
    return folder;
}

fs::path source_folder(long lines, long scale, Shape shape) {
    static std::map<std::tuple<long, long, long>, fs::path> made;
    auto& folder = made[{lines, scale, shape}];
    if (!folder.empty()) return folder;
    folder = work_folder() /
             (std::to_string(lines) + "x" + std::to_string(scale) + "s" + std::to_string(shape));
    fs::create_directories(folder);
    std::ofstream out(folder / "SPE2019.CSV", std::ios::binary);
    const char* plain_makes[] = {"Alder", "Brant", "Corvale", "Dunmore", "Elwood Motor Co"};
    const char* accented_makes[] = {"\xc3\x85lder", "Br\xc3\xa4nt", "Corval\xc3\xa9",
                                    "D\xc3\xbcnmore", "\xc3\x89lwood Motor Co"};
    const char* const* makes = shape == kUtf8 ? accented_makes : plain_makes;
    const char* models[] = {"Ridgeway LX", "Coupe 2.0", "Tessa Long Range", "Haulmaster 2500",
                            "Trailhead"};
    const char* bodies[] = {"4DS", "2DC", "5DH", "4DP", "5DW"};
    const std::string remark(static_cast<std::size_t>((scale - 1) * 78), 'r');
    const std::string q = shape == kQuoted ? "\"" : "";
    const std::string sep = q + "," + q;
    const char* line_end = shape == kLf ? "\n" : "\r\n";
    std::string header = "MAKE,MODEL," + std::string(scale > 1 ? "REMARK," : "") +
                         "A1,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,TWF,TWR,CW,WDIST,MYR" +
                         (shape == kNotes ? ",NOTES" : "");
    if (shape == kQuoted) {
        for (std::size_t at = 0; (at = header.find(',', at)) != std::string::npos; at += 3) {
            header.replace(at, 1, "\",\"");
        }
    }
    out << q << header << q << line_end;
    unsigned seed = 7;
    for (long i = 0; i < lines; ++i) {
        seed = seed * 1103515245u + 12345u;
        const unsigned r = seed >> 8;
        out << q << makes[r % 5] << sep << models[(r / 5) % 5] << sep;
        if (scale > 1) out << remark << sep;
        out << bodies[(r / 25) % 5] << sep << "FWD" << sep << "GAS" << sep << 2 + r % 6 << sep
            << 'A' << 1 + r % 9 << sep << 14 + r % 8 << sep << 1 + r % 3 << sep << 400 + r % 200
            << sep << 170 + r % 30 << sep << 130 + r % 70 << sep << 250 + r % 120 << sep
            << 150 + r % 25 << sep << 150 + r % 25 << sep << 1000 + r % 2000 << sep << 50 + r % 12
            << '/' << 38 + r % 12 << sep << 19 << q;
        if (shape == kNotes) out << (i % 2 == 0 ? ",\"Checked\r\nby Ann\"" : ",plain note");
        out << line_end;
    }
    return folder;
}

fs::path source_of(const fs::path& folder) {
    return folder / "SPE2019.CSV";
}

fs::path hostile_folder(const std::string& name, const std::string& header, const std::string& row,
                        long rows, const std::string& row_end) {
    const fs::path folder = work_folder() / name;
    fs::create_directories(folder);
    std::ofstream out(source_of(folder), std::ios::binary);
    out << header << "\r\n";
    for (long i = 0; i < rows; ++i) out << row << row_end;
    return folder;
}

namespace {

/// The values of data line `i`'s columns, as the CSV sources hold them:
/// a text, or a number (`number` true).
struct Value {
    std::string text;
    bool number;
};

std::vector<Value> row_values(unsigned r) {
    const char* makes[] = {"Alder", "Brant", "Corvale", "Dunmore", "Elwood Motor Co"};
    const char* models[] = {"Ridgeway LX", "Coupe 2.0", "Tessa Long Range", "Haulmaster 2500",
                            "Trailhead"};
    const char* bodies[] = {"4DS", "2DC", "5DH", "4DP", "5DW"};
    const auto number = [](unsigned n) { return Value{std::to_string(n), true}; };
    return {{makes[r % 5], false},
            {models[(r / 5) % 5], false},
            {bodies[(r / 25) % 5], false},
            {"FWD", false},
            {"GAS", false},
            number(2 + r % 6),
            {"A" + std::to_string(1 + r % 9), false},
            number(14 + r % 8),
            number(1 + r % 3),
            number(400 + r % 200),
            number(170 + r % 30),
            number(130 + r % 70),
            number(250 + r % 120),
            number(150 + r % 25),
            number(150 + r % 25),
            number(1000 + r % 2000),
            {std::to_string(50 + r % 12) + "/" + std::to_string(38 + r % 12), false},
            number(19)};
}

const char* const kColumns[] = {"MAKE", "MODEL", "A1", "B1", "C1",  "D1",  "E1", "F1",    "G1",
                                "OL",   "OW",    "OH", "WB", "TWF", "TWR", "CW", "WDIST", "MYR"};

/// The sheet of an .xlsx: its strings inline, as some writers give them.
std::string xlsx_sheet(long lines) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    const auto row = [&](long number, const std::vector<Value>& values) {
        xml += "<row r=\"" + std::to_string(number) + "\">";
        for (const Value& value : values) {
            xml += value.number ? "<c><v>" + value.text + "</v></c>"
                                : "<c t=\"inlineStr\"><is><t>" + value.text + "</t></is></c>";
        }
        xml += "</row>";
    };
    std::vector<Value> header;
    for (const char* name : kColumns) header.push_back({name, false});
    row(1, header);
    unsigned seed = 7;
    for (long i = 0; i < lines; ++i) {
        seed = seed * 1103515245u + 12345u;
        row(i + 2, row_values(seed >> 8));
    }
    return xml + "</sheetData></worksheet>";
}

std::string ods_content(long lines) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.3\">"
        "<office:body><office:spreadsheet><table:table table:name=\"2019\">";
    const auto row = [&](const std::vector<Value>& values) {
        xml += "<table:table-row>";
        for (const Value& value : values) {
            xml += value.number ? "<table:table-cell office:value-type=\"float\" office:value=\"" +
                                      value.text + "\"><text:p>" + value.text +
                                      "</text:p></table:table-cell>"
                                : "<table:table-cell office:value-type=\"string\"><text:p>" +
                                      value.text + "</text:p></table:table-cell>";
        }
        xml += "</table:table-row>";
    };
    std::vector<Value> header;
    for (const char* name : kColumns) header.push_back({name, false});
    row(header);
    unsigned seed = 7;
    for (long i = 0; i < lines; ++i) {
        seed = seed * 1103515245u + 12345u;
        row(row_values(seed >> 8));
    }
    // LibreOffice declares the sheet's empty rows to its end.
    xml +=
        "<table:table-row table:number-rows-repeated=\"1048000\"><table:table-cell "
        "table:number-columns-repeated=\"18\"/></table:table-row>";
    return xml + "</table:table></office:spreadsheet></office:body></office:document-content>";
}

}  // namespace

fs::path workbook_folder(long lines, Workbook kind) {
    const fs::path folder =
        work_folder() / ((kind == Workbook::xlsx ? "xlsx-" : "ods-") + std::to_string(lines));
    const fs::path file = folder / (kind == Workbook::xlsx ? "SPE2019.xlsx" : "SPE2019.ods");
    if (fs::exists(file)) return folder;
    fs::create_directories(folder);
    std::ofstream(file, std::ios::binary)
        << (kind == Workbook::xlsx ? testing_support::xlsx_around(xlsx_sheet(lines))
                                   : testing_support::ods_around(ods_content(lines)));
    return folder;
}

}  // namespace bench
