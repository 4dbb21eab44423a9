#include "containers/zip_archive.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "containers/compound_file.h"
#include "zip_writer.h"

using namespace convert;
using testing_support::make_zip;

namespace {

/// Entry "a" of `zip` read 1000 bytes at a time, or "!" and the reason it cannot be.
std::string read_entry(const std::string& zip, ZipLimits limits = {}) {
    try {
        MemoryRandomAccess file(zip);
        const ZipArchive archive(file, limits);
        const ZipEntry* entry = archive.find("a");
        if (entry == nullptr) return "!no entry";
        const auto stream = archive.open(*entry);
        std::string content;
        char block[1000];
        while (const std::size_t n = stream->read(block, sizeof block)) content.append(block, n);
        return content;
    } catch (const ZipError& e) {
        return std::string("!") + e.what();
    }
}

std::string patched(std::string zip, std::size_t at, std::initializer_list<std::size_t> bytes) {
    for (const std::size_t byte : bytes) zip[at++] = static_cast<char>(byte);
    return zip;
}

TEST(ZipArchive, ReadsEntriesOrSaysWhyNot) {
    const std::string text = "MAKE;MODEL\nAUDI;A4\n";
    std::string noise(600 << 10, '\0');  // deflates to more than two read blocks
    for (std::uint64_t x = 1; char& c : noise) {
        c = static_cast<char>((x = x * 6364136223846793005U + 1442695040888963407U) >> 56);
    }
    const std::string zeros(2 << 20, '\0');
    // One entry "a", stored or deflated: its directory header 69 bytes and
    // the end record 22 bytes from the end, its data at 31.
    const std::string stored = make_zip({{"a", text, false}});
    const std::string deflated = make_zip({{"a", text}});
    const std::string two = make_zip({{"a", text, false}, {"b", text, false}});
    const std::size_t end = stored.size() - 22, header = stored.size() - 69;
    const std::size_t packed = deflated.size() - 100, deflated_header = deflated.size() - 69;
    const std::string damaged = "!The zip archive is damaged.";
    const auto entry = [](const char* is) {
        return std::string("!The entry \"a\" of the zip archive ") + is;
    };
    const struct {
        const char* name;
        std::string zip;
        std::string expected;
        ZipLimits limits = {};
    } cases[] = {
        {"stored", stored, text},
        {"deflated", deflated, text},
        {"data descriptor", make_zip({{"a", text, true, true}}), text},
        {"Zip64", make_zip({{"b", "x"}, {"a", text, true, true, true}}, true), text},
        {"comment with a false end record",
         make_zip({{"a", text}}, false, std::string("PK\x05\x06") + std::string(40, 'x')), text},
        {"across read blocks", make_zip({{"a", noise}}), noise},
        {"empty", make_zip({{"a", ""}}), ""},
        {"no such entry", make_zip({{"b", text}}), "!no entry"},
        {"not a zip", text, "!The file is not a zip archive."},
        {"empty file", "", "!The file is not a zip archive."},
        {"cut short", stored.substr(0, stored.size() - 5), damaged},
        {"directory offset off by one", patched(stored, end + 16, {header + 1}), damaged},
        {"directory past the end", patched(stored, end + 16, {0xFF, 0xFF}), damaged},
        {"more entries than the directory", patched(stored, end + 8, {2, 0, 2}), damaged},
        {"entry past the directory", patched(stored, header + 42, {header}), damaged},
        {"entry offset not a header", patched(stored, header + 42, {1}), entry("is damaged.")},
        {"a part named twice", make_zip({{"a", text}, {"a", "other"}}),
         "!The zip archive holds the part a twice."},
        {"two records of one entry's bytes", patched(two, two.size() - 69 + 42, {0, 0, 0, 0}),
         "!The entry \"b\" of the zip archive is damaged: another entry's record names its bytes "
         "too."},
        {"split archive", patched(stored, end + 4, {1}),
         "!The zip archive spans several files, which is not supported."},
        {"CRC mismatch", patched(stored, 31, {'X'}),
         entry("is damaged: its CRC-32 does not match.")},
        {"stored sizes differ", patched(stored, header + 20, {text.size() - 1}),
         entry("is damaged.")},
        {"deflate stream corrupt", patched(deflated, 31, {0xFF}),
         entry("is damaged: invalid block type.")},
        {"deflate stream cut short", patched(deflated, deflated_header + 20, {packed - 2}),
         entry("is damaged: its compressed data ends too soon.")},
        {"more bytes than its size", patched(deflated, deflated_header + 24, {text.size() - 1}),
         entry("is damaged: it holds more bytes than its size.")},
        {"fewer bytes than its size", patched(deflated, deflated_header + 24, {text.size() + 1}),
         entry("is damaged: it holds fewer bytes than its size.")},
        {"encrypted", make_zip({{"a", text, false, false, false, 1}}), entry("is encrypted.")},
        {"other method", make_zip({{"a", text, false, false, false, 0, 12}}),
         entry("is compressed in a way that cannot be read (method 12).")},
        // Refused past the ratio and the floor both, on the bytes inflated.
        {"bomb",
         make_zip({{"a", zeros}}),
         entry("expands to over 100 times its compressed size, and is refused."),
         {100, 1 << 20}},
        {"past the ratio, not the floor", make_zip({{"a", zeros}}), zeros, {100, 4 << 20}},
        {"past the floor, not the ratio", make_zip({{"a", zeros}}), zeros, {100000, 1 << 20}},
    };
    for (const auto& c : cases) {
        const std::string got = read_entry(c.zip, c.limits);
        EXPECT_TRUE(got == c.expected) << c.name << ": " << got.substr(0, 200);
    }
}

TEST(ZipArchive, TellsCompoundFiles) {
    const std::string compound =
        std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + std::string(504, '\0');
    const std::string zip = make_zip({{"a", "x"}});
    MemoryRandomAccess file(compound), zip_file(zip),
        short_file(std::string_view(compound).substr(0, 7));
    EXPECT_TRUE(is_compound_file(file));
    EXPECT_FALSE(is_compound_file(zip_file));
    EXPECT_FALSE(is_compound_file(short_file));
    EXPECT_EQ(read_entry(compound), "!The file is not a zip archive.");
}

}  // namespace
