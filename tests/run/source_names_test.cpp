#include "run/source_names.h"

#include <gtest/gtest.h>

#include <string>

using namespace convert;

namespace {

// Which names the year list shows, a run converts and convert-batch finds
// by itself, and the target each source gives.
TEST(SourceNames, WhatEachNameIs) {
    const struct {
        std::string name;
        bool listed, source, yearly;
        std::string target;  // for sources
    } cases[] = {
        {"SPE1999.csv", true, true, true, "SP1999.TXT"},
        {"spe2001.CSV", true, true, true, "SP2001.TXT"},
        {"Spe2000.Csv", true, true, true, "SP2000.TXT"},
        {"SPE1999A.CSV", true, true, false, "SP1999.TXT"},
        {"SPE1999-new.csv", true, true, false, "SP1999.TXT"},
        {"SPE199.csv", true, true, false, "SP199..TXT"},
        {"SPE1999.txt", false, true, false, "SP1999.TXT"},
        {"SPE2024.xlsx", true, true, true, "SP2024.TXT"},
        {"spe2024.ODS", true, true, true, "SP2024.TXT"},
        {"SPE2024.xls", false, true, false, "SP2024.TXT"},
        {"SPE2024-old.xlsx", true, true, false, "SP2024.TXT"},
        {"SPE1999.csv~", false, true, false, "SP1999.TXT"},
        {"SPE", false, true, false, "SP.TXT"},
        {"XSPE1999.csv", true, false, false, ""},
        {"notes.csv", true, false, false, ""},
        {".csv", true, false, false, ""},
        {"csv", false, false, false, ""},
        {"", false, false, false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_listed_name(c.name), c.listed) << c.name;
        EXPECT_EQ(is_source_name(c.name), c.source) << c.name;
        EXPECT_EQ(is_yearly_source_name(c.name), c.yearly) << c.name;
        if (c.source) {
            EXPECT_EQ(target_name_of(c.name), c.target) << c.name;
        }
    }
}

}  // namespace
