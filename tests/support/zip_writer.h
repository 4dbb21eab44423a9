// Zip archives built in memory, so that tests make their own: entries stored
// or deflated, with data descriptors or Zip64 records when asked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct ZipItem {
    std::string name;
    std::string content;
    bool deflate = true;
    bool descriptor = false;   // CRC-32 and sizes after the data (flag bit 3)
    bool zip64 = false;        // sizes and offset in a Zip64 extra field
    std::uint16_t flags = 0;   // more flag bits, such as 1 (encrypted)
    std::uint16_t method = 0;  // recorded instead of the one used, when not 0
};

/// The archive of `items`; `zip64_end` adds the Zip64 end record and its
/// locator (the plain end record then holds markers only); `comment` ends it.
std::string make_zip(const std::vector<ZipItem>& items, bool zip64_end = false,
                     std::string_view comment = {});

/// The smallest workbooks LibreOffice and Excel open: an .xlsx whose one
/// worksheet is the part `sheet`, and an .ods whose content.xml is `content`.
std::string xlsx_around(std::string sheet, bool deflate = true);
std::string ods_around(std::string content, bool deflate = true);

}  // namespace testing_support
