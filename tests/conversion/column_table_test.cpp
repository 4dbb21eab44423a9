#include "column_table.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "reference_conversion.h"

using namespace convert;

namespace {

// The table must give exactly what a fresh scan of the reference gives, on
// lines built from the awkward pieces: duplicate and mis-cased names, names
// with spaces, empty fields, short lines, quotes, separators and tabs.
TEST(ColumnTable, AgreesWithFieldLookupOnRandomLines) {
    const std::array<std::string_view, 4> names = {"MAKE", "A1", "WDIST", "MYR"};
    const std::vector<std::string> header_pieces = {
        "MAKE", "make", " A1", "A1", "a1", "WDIST", "MYR", "X", "", "Myr", "WDIST ", "\"A1\"", ";"};
    const std::vector<std::string> value_pieces = {
        "", " ", "12", " 7 ", "\"q", "\t1", "abcdef", "\"\"", "\"1,\"\"2\"", "\"x\"y"};
    std::mt19937 random(12345);
    auto pick = [&](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    };
    for (int round = 0; round < 2000; ++round) {
        std::string header;
        const int columns = std::uniform_int_distribution<int>(0, 8)(random);
        for (int i = 0; i < columns; ++i) header += (i ? "," : "") + pick(header_pieces);
        std::string line;
        const int values = std::uniform_int_distribution<int>(0, 9)(random);
        for (int i = 0; i < values; ++i) line += (i ? "," : "") + pick(value_pieces);

        ColumnTable table(header, names);
        std::array<std::string_view, names.size()> got;
        got.fill("untouched");
        table.read(line, got);
        const char separator = table.separator();
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string name(names[i]);
            const std::string header_line = header + separator;
            const std::string data_line = line + separator;
            // Padded to one byte, a column the header has is never empty.
            const bool in_header =
                !reference::G_GET_FIELD(name, header_line, data_line, 1, separator).empty();
            EXPECT_EQ(table.has(i), in_header);
            EXPECT_EQ(got[i],
                      in_header ? reference::G_GET_FIELD(name, header_line, data_line, 0, separator)
                                : "untouched")
                << "header [" << header << "] line [" << line << "] name " << names[i];
        }
    }
}

}  // namespace
