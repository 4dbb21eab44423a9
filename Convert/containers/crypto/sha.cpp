#include "containers/crypto/sha.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace convert {

namespace {

/// SHA-512's round constants; SHA-256's are their upper halves.
constexpr std::uint64_t kSha512Rounds[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};
/// SHA-512's initial state; SHA-256's is its upper halves.
constexpr std::uint64_t kSha512Start[8] = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179,
};
constexpr std::uint64_t kSha384Start[8] = {
    0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17, 0x152fecd8f70e5939,
    0x67332667ffc00b31, 0x8eb44a8768581511, 0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4,
};

template <typename Word>
Word rotr(Word x, int n) {
    return static_cast<Word>(x >> n | x << (8 * sizeof(Word) - n));
}

template <typename Word>
Word load_big_endian(const unsigned char* p) {
    Word word = 0;
    for (std::size_t i = 0; i < sizeof(Word); ++i) word = static_cast<Word>(word << 8 | p[i]);
    return word;
}

using Sha1State = std::array<std::uint32_t, 8>;  // five words used

void sha1_block(Sha1State& h, const unsigned char* p) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) w[i] = load_big_endian<std::uint32_t>(p + 4 * i);
    for (int i = 16; i < 80; ++i) w[i] = rotr(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 31);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d), k = 0x5a827999;
        } else if (i < 40) {
            f = b ^ c ^ d, k = 0x6ed9eba1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d), k = 0x8f1bbcdc;
        } else {
            f = b ^ c ^ d, k = 0xca62c1d6;
        }
        const std::uint32_t t = rotr(a, 27) + f + e + k + w[i];
        e = d, d = c, c = rotr(b, 2), b = a, a = t;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
}

/// SHA-256's rotations and shifts (σ0, σ1, Σ0, Σ1) and SHA-512's.
struct Sha2Shape {
    int rounds;
    int s0[3], s1[3], big0[3], big1[3];
};
constexpr Sha2Shape kSha256Shape{64, {7, 18, 3}, {17, 19, 10}, {2, 13, 22}, {6, 11, 25}};
constexpr Sha2Shape kSha512Shape{80, {1, 8, 7}, {19, 61, 6}, {28, 34, 39}, {14, 18, 41}};

template <typename Word>
void sha2_block(std::array<Word, 8>& h, const unsigned char* p, const Sha2Shape& shape) {
    constexpr int kShift = sizeof(Word) == 4 ? 32 : 0;  // SHA-256's constants: upper halves
    Word w[80];
    for (int i = 0; i < 16; ++i) w[i] = load_big_endian<Word>(p + sizeof(Word) * i);
    for (int i = 16; i < shape.rounds; ++i) {
        const Word s0 =
            rotr(w[i - 15], shape.s0[0]) ^ rotr(w[i - 15], shape.s0[1]) ^ w[i - 15] >> shape.s0[2];
        const Word s1 =
            rotr(w[i - 2], shape.s1[0]) ^ rotr(w[i - 2], shape.s1[1]) ^ w[i - 2] >> shape.s1[2];
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::array<Word, 8> v = h;  // a, b, c, d, e, f, g, h
    for (int i = 0; i < shape.rounds; ++i) {
        const Word big1 =
            rotr(v[4], shape.big1[0]) ^ rotr(v[4], shape.big1[1]) ^ rotr(v[4], shape.big1[2]);
        const Word choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const Word t1 = v[7] + big1 + choice + static_cast<Word>(kSha512Rounds[i] >> kShift) + w[i];
        const Word big0 =
            rotr(v[0], shape.big0[0]) ^ rotr(v[0], shape.big0[1]) ^ rotr(v[0], shape.big0[2]);
        const Word majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        for (int j = 7; j > 0; --j) v[j] = v[j - 1];
        v[4] += t1;
        v[0] = t1 + big0 + majority;
    }
    for (int j = 0; j < 8; ++j) h[j] += v[j];
}

/// Pads `bytes` as all four digests do, runs `block` over it and gives the
/// first `size` bytes of the state, big-endian.
template <typename Word, typename Block>
std::string run_digest(std::array<Word, 8> state, std::string_view bytes, std::size_t size,
                       Block block) {
    constexpr std::size_t kBlockSize = 16 * sizeof(Word);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t rest = bytes.size();
    for (; rest >= kBlockSize; rest -= kBlockSize, p += kBlockSize) block(state, p);
    std::array<unsigned char, 2 * kBlockSize> tail{};
    if (rest != 0) std::memcpy(tail.data(), p, rest);
    tail[rest] = 0x80;
    const std::size_t end = rest + 1 + 2 * sizeof(Word) <= kBlockSize ? kBlockSize : 2 * kBlockSize;
    const std::uint64_t bits = std::uint64_t{bytes.size()} * 8;
    for (int i = 0; i < 8; ++i) tail[end - 1 - i] = static_cast<unsigned char>(bits >> 8 * i);
    for (std::size_t at = 0; at < end; at += kBlockSize) block(state, tail.data() + at);
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t shift = 8 * (sizeof(Word) - 1 - i % sizeof(Word));
        out[i] = static_cast<char>(state[i / sizeof(Word)] >> shift);
    }
    return out;
}

}  // namespace

std::size_t digest_size(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::sha1:
            return 20;
        case HashAlgorithm::sha256:
            return 32;
        case HashAlgorithm::sha384:
            return 48;
        case HashAlgorithm::sha512:
            break;
    }
    return 64;
}

std::string digest(HashAlgorithm algorithm, std::string_view bytes) {
    const auto sha256 = [](std::array<std::uint32_t, 8>& h, const unsigned char* p) {
        sha2_block(h, p, kSha256Shape);
    };
    const auto sha512 = [](std::array<std::uint64_t, 8>& h, const unsigned char* p) {
        sha2_block(h, p, kSha512Shape);
    };
    std::array<std::uint32_t, 8> state32{};
    std::array<std::uint64_t, 8> state64{};
    switch (algorithm) {
        case HashAlgorithm::sha1:
            state32 = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
            return run_digest(state32, bytes, 20, sha1_block);
        case HashAlgorithm::sha256:
            for (int i = 0; i < 8; ++i)
                state32[i] = static_cast<std::uint32_t>(kSha512Start[i] >> 32);
            return run_digest(state32, bytes, 32, sha256);
        case HashAlgorithm::sha384:
            for (int i = 0; i < 8; ++i) state64[i] = kSha384Start[i];
            return run_digest(state64, bytes, 48, sha512);
        case HashAlgorithm::sha512:
            break;
    }
    for (int i = 0; i < 8; ++i) state64[i] = kSha512Start[i];
    return run_digest(state64, bytes, 64, sha512);
}

}  // namespace convert
