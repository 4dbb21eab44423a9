// The digests and the cipher against published answers.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "compound_writer.h"
#include "containers/crypto/aes.h"
#include "containers/crypto/sha.h"

using namespace convert;
using namespace testing_support;

namespace {

std::string hex(std::string_view bytes) {
    std::string out;
    for (const char c : bytes)
        out += {"0123456789abcdef"[(c >> 4) & 15], "0123456789abcdef"[c & 15]};
    return out;
}

TEST(Crypto, KnownAnswers) {
    // FIPS 180 (56 and 112 bytes leave no room for the length in the last
    // block) and FIPS-197, appendix C (keys of 128, 192 and 256 bits). The
    // compound file tests decrypt what this encryption made, chained and not.
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

}  // namespace
