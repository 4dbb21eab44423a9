#include "containers/compound_file.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "compound_writer.h"
#include "containers/office_crypto.h"

using namespace convert;
using namespace testing_support;

namespace {

std::string hex(std::string_view bytes) {
    std::string out;
    for (const char c : bytes)
        out += {"0123456789abcdef"[(c >> 4) & 15], "0123456789abcdef"[c & 15]};
    return out;
}

TEST(OfficeCrypto, KnownAnswers) {
    // FIPS 180 (56 and 112 bytes leave no room for the length in the last
    // block) and FIPS-197, appendix C (keys of 128, 192 and 256 bits). The
    // files below decrypt what this encryption made, chained and not.
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string four =
        "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlm"
        "nopqrsmnopqrstnopqrstu";
    std::string plain, key;
    for (int i = 0; i < 32; ++i)
        plain += static_cast<char>(i % 16 * 0x11), key += static_cast<char>(i);
    const auto aes = [&](std::size_t size) {
        return aes_encrypt(key.substr(0, size), plain.substr(16));
    };
    const std::pair<std::string, std::string_view> cases[] = {
        {digest(HashAlgorithm::sha1, two), "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {digest(HashAlgorithm::sha256, two),
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {digest(HashAlgorithm::sha384, "abc"),
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
         "34c825a7"},
        {digest(HashAlgorithm::sha512, four),
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99de"
         "c4b5433ac7d329eeb6dd26545e96e55b874be909"},
        {aes(16), "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {aes(24), "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {aes(32), "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(hex(got), expected);
}

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
