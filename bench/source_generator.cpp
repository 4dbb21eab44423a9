#include "source_generator.h"

#include <stdlib.h>

#include <fstream>
#include <map>
#include <stdexcept>
#include <tuple>

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

}  // namespace bench
