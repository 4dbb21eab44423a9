#include "containers/compound_file.h"

#include <gtest/gtest.h>

#include <string>

#include "compound_writer.h"
#include "containers/office_crypto.h"

using namespace convert;
using namespace testing_support;

namespace {

std::string hex(std::string_view bytes) {
    std::string out;
    for (const char c : bytes)
        out += "0123456789abcdef"[(c >> 4) & 15], out += "0123456789abcdef"[c & 15];
    return out;
}

std::string unhex(std::string_view digits) {
    std::string out;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        out += static_cast<char>(std::stoi(std::string(digits.substr(i, 2)), nullptr, 16));
    }
    return out;
}

TEST(OfficeCrypto, KnownAnswers) {
    // FIPS 180: 56 and 112 bytes leave no room for the length in the last block.
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string four =
        "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlm"
        "nopqrsmnopqrstnopqrstu";
    struct Case {
        HashAlgorithm algorithm;
        std::string input;
        std::string_view expected;
    };
    const Case cases[] = {
        {HashAlgorithm::sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {HashAlgorithm::sha1, two, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {HashAlgorithm::sha256, "abc",
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {HashAlgorithm::sha256, two,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {HashAlgorithm::sha384, "abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
         "34c825a7"},
        {HashAlgorithm::sha512, "",
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2"
         "877eec2f63b931bd47417a81a538327af927da3e"},
        {HashAlgorithm::sha512, four,
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99de"
         "c4b5433ac7d329eeb6dd26545e96e55b874be909"},
    };
    for (const auto& c : cases) EXPECT_EQ(hex(digest(c.algorithm, c.input)), c.expected) << c.input;

    // FIPS-197, appendix C: one block under keys of 128, 192 and 256 bits.
    const std::string plain = unhex("00112233445566778899aabbccddeeff");
    const std::string_view ciphers[] = {"69c4e0d86a7b0430d8cdb78070b4c55a",
                                        "dda97ca4864cdfe06eaf70a0ec0d7191",
                                        "8ea2b7ca516745bfeafc49904b496089"};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string key = unhex(
                                    "000102030405060708090a0b0c0d0e0f1011121314151617"
                                    "18191a1b1c1d1e1f")
                                    .substr(0, 16 + 8 * i);
        EXPECT_EQ(hex(AesDecryption(key).decrypt_ecb(unhex(ciphers[i]))), hex(plain));
        EXPECT_EQ(hex(aes_encrypt(key, plain)), ciphers[i]);  // the tests' own
        EXPECT_EQ(AesDecryption(key).decrypt_cbc(aes_encrypt(key, plain + plain, key.substr(0, 16)),
                                                 key.substr(0, 16)),
                  plain + plain);
    }
}

/// The EncryptionInfo stream of `file` as read: its bytes, "none" or "damaged".
std::string read_info(const std::string& file) {
    MemoryRandomAccess source(file);
    try {
        return read_compound_stream(source, "encryptionINFO").value_or("none");
    } catch (const CompoundFileError&) {
        return "damaged";
    }
}

std::string patched(std::string file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(value >> 8 * i);
    return file;
}

TEST(CompoundFile, TellsTheDefaultPassword) {
    const std::string package(5000, 'p');
    const auto encrypted = [&](const std::string& info, int version = 3) {
        return make_compound({{"EncryptionInfo", info}, {"EncryptedPackage", package}}, version);
    };
    const std::u16string_view excel = u"VelvetSweatshop";
    const std::string standard = standard_encryption_info(excel, 128);
    const std::string agile = agile_encryption_info(excel, HashAlgorithm::sha512, 256, 1000);
    const std::string other = standard_encryption_info(u"VelvetSweatshoP", 256);
    const std::string other_agile = agile_encryption_info(u"", HashAlgorithm::sha256, 128, 10);
    const std::string large = standard + std::string(5000, '\0');  // in regular sectors
    // Version 3: the FAT at 512, the directory at 1024, the mini FAT at 1536,
    // the mini stream at 2048, then the larger streams (sector 3 on).
    const std::string file = encrypted(standard);
    using enum Encryption;
    struct Case {
        const char* name;
        std::string file, info;
        Encryption expected;
    };
    const Case cases[] = {
        {"Standard, AES-128", file, standard, default_password},
        {"Standard, 4096-byte sectors", encrypted(standard, 4), standard, default_password},
        {"Standard, AES-192", encrypted(standard_encryption_info(excel, 192)),
         standard_encryption_info(excel, 192), default_password},
        {"Standard, in regular sectors", encrypted(large, 4), large, default_password},
        {"Agile, SHA-512, AES-256", encrypted(agile), agile, default_password},
        {"Agile, SHA-1, AES-128",
         encrypted(agile_encryption_info(excel, HashAlgorithm::sha1, 128, 3)),
         agile_encryption_info(excel, HashAlgorithm::sha1, 128, 3), default_password},
        {"Standard, another password", encrypted(other), other, password},
        {"Agile, another password", encrypted(other_agile), other_agile, password},
        {"Agile, cut short", encrypted(agile.substr(0, 300)), agile.substr(0, 300), password},
        {"Standard, cut short", encrypted(standard.substr(0, 100)), standard.substr(0, 100),
         password},
        {"no EncryptionInfo", make_compound({{"EncryptedPackage", package}}), "none", password},
        {"no EncryptedPackage", make_compound({{"Workbook", "x"}}), "none", none},
        {"a zip", "PK\x03\x04", "damaged", none},
        {"the file cut short", file.substr(0, 2048), "damaged", password},
        {"a loop in the directory's chain", patched(file, 512 + 4, 1), "damaged", password},
        {"a loop in the mini FAT", patched(file, 1536, 0), "damaged", password},
        {"a loop in the FAT", patched(encrypted(large), 512 + 4 * 3, 3), "damaged", password},
        {"the mini stream out of the file", patched(file, 1024 + 116, 1 << 16), "damaged",
         password},
        {"the stream over the bound", patched(file, 1024 + 128 + 120, 2 << 20), "damaged",
         password},
    };
    for (const auto& c : cases) {
        MemoryRandomAccess source(c.file);
        EXPECT_EQ(encryption_of(source), c.expected) << c.name;
        EXPECT_EQ(read_info(c.file), c.info) << c.name;
    }
}

}  // namespace
