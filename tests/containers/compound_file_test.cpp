#include "containers/compound_file.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "compound_writer.h"
#include "containers/crypto/sha.h"

using namespace convert;
using namespace testing_support;

namespace {

TEST(CompoundFile, TellsTheDefaultPassword) {
    const std::string package(5000, 'p');
    const auto encrypted = [&](const std::string& info, int version = 3) {
        return make_compound({{"EncryptionInfo", info}, {"EncryptedPackage", package}}, version);
    };
    const std::u16string_view excel = u"VelvetSweatshop";
    const std::string standard = standard_encryption_info(excel, 128);
    const std::string agile = agile_encryption_info(excel, HashAlgorithm::sha512, 256, 1000);
    const std::string agile_sha1 = agile_encryption_info(excel, HashAlgorithm::sha1, 128, 3);
    const std::string other = standard_encryption_info(u"VelvetSweatshoP", 256);
    const std::string other_agile = agile_encryption_info(u"", HashAlgorithm::sha256, 128, 10);
    const std::string large = standard + std::string(5000, '\0');  // in regular sectors
    // Version 3: the FAT at 512, the directory at 1024, the mini FAT at 1536,
    // then the larger streams (sector 3 on) and the mini stream.
    const std::string file = encrypted(standard);
    const auto patched = [](std::string file, std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(value >> 8 * i);
        return file;
    };
    using enum Encryption;
    const std::tuple<const char*, std::string, std::string, Encryption> cases[] = {
        {"Standard, AES-128", file, standard, default_password},
        {"Standard, in 4096-byte sectors", encrypted(large, 4), large, default_password},
        {"Agile, SHA-512, AES-256", encrypted(agile), agile, default_password},
        {"Agile, SHA-1, AES-128", encrypted(agile_sha1), agile_sha1, default_password},
        {"Standard, another password", encrypted(other), other, password},
        {"Agile, another password", encrypted(other_agile), other_agile, password},
        {"Agile, cut short", encrypted(agile.substr(0, 300)), agile.substr(0, 300), password},
        {"Standard, cut short", encrypted(standard.substr(0, 99)), standard.substr(0, 99),
         password},
        {"no EncryptionInfo", make_compound({{"EncryptedPackage", package}}), "none", password},
        {"no EncryptedPackage", make_compound({{"Workbook", "x"}}), "none", none},
        {"a zip", "PK\x03\x04", "damaged", none},
        {"the file cut short", file.substr(0, 2048), "damaged", password},
        {"a loop in the directory's chain", patched(file, 512 + 4, 1), "damaged", password},
        {"a loop in the mini FAT", patched(file, 1536, 0), "damaged", password},
        {"a loop in the FAT", patched(encrypted(large), 512 + 4 * 3, 3), "damaged", password},
        {"mini stream out of the file", patched(file, 1024 + 116, 1 << 16), "damaged", password},
        {"stream over the bound", patched(file, 1024 + 128 + 120, 2 << 20), "damaged", password},
    };
    for (const auto& [name, bytes, info, expected] : cases) {
        MemoryRandomAccess source(bytes);
        EXPECT_EQ(encryption_of(source), expected) << name;
        try {  // the stream as read: its bytes, "none" or "damaged"
            EXPECT_EQ(read_compound_stream(source, "encryptionINFO").value_or("none"), info)
                << name;
        } catch (const CompoundFileError&) {
            EXPECT_EQ("damaged", info) << name;
        }
    }
}

}  // namespace
