#include "containers/office_crypto.h"

#include <cstring>
#include <optional>
#include <stdexcept>

#include "containers/xml_reader.h"

namespace convert {

namespace {

// --- SHA-1 and SHA-2 -------------------------------------------------------

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

// --- AES -------------------------------------------------------------------

constexpr unsigned char times_x(unsigned char a) {
    return static_cast<unsigned char>(a << 1 ^ (a & 0x80 ? 0x1b : 0));
}

unsigned char multiply(unsigned char a, unsigned char b) {
    unsigned char product = 0;
    for (; b != 0; b >>= 1, a = times_x(a)) {
        if (b & 1) product ^= a;
    }
    return product;
}

/// Each column times the polynomial whose coefficients are `factors`.
void mix_columns(unsigned char* block, const unsigned char (&factors)[4]) {
    for (int column = 0; column < 16; column += 4) {
        unsigned char mixed[4] = {};
        for (int row = 0; row < 4; ++row) {
            for (int j = 0; j < 4; ++j) {
                mixed[row] ^= multiply(block[column + j], factors[(j - row + 4) % 4]);
            }
        }
        std::memcpy(block + column, mixed, 4);
    }
}

struct SBoxes {
    std::array<unsigned char, 256> forward{}, inverse{};
};

/// The S-box from its definition: the inverse in GF(2^8), then the affine map.
constexpr SBoxes make_s_boxes() {
    std::array<unsigned char, 256> power{}, log{};  // of the generator 3
    unsigned char p = 1;
    for (int i = 0; i < 255; ++i) {
        power[i] = p, log[p] = static_cast<unsigned char>(i);
        p = static_cast<unsigned char>(p ^ times_x(p));
    }
    SBoxes boxes;
    for (int x = 0; x < 256; ++x) {
        const int b = x == 0 ? 0 : power[(255 - log[x]) % 255];
        int s = b;
        for (int r = 1; r <= 4; ++r) s ^= (b << r | b >> (8 - r)) & 0xff;
        s ^= 0x63;
        boxes.forward[x] = static_cast<unsigned char>(s);
        boxes.inverse[s] = static_cast<unsigned char>(x);
    }
    return boxes;
}
constexpr SBoxes kSBoxes = make_s_boxes();

// --- Office's encryption ---------------------------------------------------

std::uint32_t le32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::string le32_bytes(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> 8 * i);
    return bytes;
}

/// The password's hash spun `spin_count` times: H(salt + password), then
/// H(iterator + previous hash), the iterator a 32-bit little-endian count.
std::string spun_hash(HashAlgorithm algorithm, std::string_view salt, std::string_view password,
                      std::uint32_t spin_count) {
    std::string hash = digest(algorithm, std::string(salt) + std::string(password));
    std::string input;
    for (std::uint32_t i = 0; i < spin_count; ++i) {
        input = le32_bytes(i) + hash;
        hash = digest(algorithm, input);
    }
    return hash;
}

/// `bytes` cut or padded with 0x36 to `size`.
std::string fitted(std::string bytes, std::size_t size) {
    bytes.resize(size, '\x36');
    return bytes;
}

/// Standard encryption: AES in ECB mode, the key from SHA-1 spun 50 000 times.
bool standard_opens(std::string_view info, std::string_view password) {
    constexpr std::uint32_t kCryptoApi = 0x04, kExternal = 0x10, kAes = 0x20;
    if (info.size() < 12) return false;
    const std::uint32_t flags = le32(info, 4);
    if ((flags & (kCryptoApi | kExternal | kAes)) != (kCryptoApi | kAes)) return false;
    const std::uint32_t header_size = le32(info, 8);
    constexpr std::size_t kVerifierSize = 4 + 16 + 16 + 4 + 32;
    if (header_size < 32 || info.size() < 12 + kVerifierSize ||
        header_size > info.size() - 12 - kVerifierSize) {
        return false;
    }
    const std::uint32_t algorithm = le32(info, 20), hash = le32(info, 24),
                        key_bits = le32(info, 28);
    const bool aes = algorithm == 0 || (algorithm >= 0x660E && algorithm <= 0x6610 &&
                                        key_bits == 128 + 64 * (algorithm - 0x660E));
    if (!aes || (hash != 0 && hash != 0x8004) ||
        (key_bits != 128 && key_bits != 192 && key_bits != 256)) {
        return false;
    }
    const std::string_view verifier = info.substr(12 + header_size, kVerifierSize);
    if (le32(verifier, 0) != 16 || le32(verifier, 36) != 20) return false;

    const std::string final_hash = digest(
        HashAlgorithm::sha1,
        spun_hash(HashAlgorithm::sha1, verifier.substr(4, 16), password, 50000) + le32_bytes(0));
    std::string inner(64, '\x36'), outer(64, '\x5c');
    for (std::size_t i = 0; i < final_hash.size(); ++i)
        inner[i] ^= final_hash[i], outer[i] ^= final_hash[i];
    const std::string key =
        (digest(HashAlgorithm::sha1, inner) + digest(HashAlgorithm::sha1, outer))
            .substr(0, key_bits / 8);
    const Aes aes_key(key);
    const std::string expected = aes_key.decrypt_ecb(verifier.substr(40, 32)).substr(0, 20);
    return digest(HashAlgorithm::sha1, aes_key.decrypt_ecb(verifier.substr(20, 16))) == expected;
}

std::optional<std::uint32_t> parse_count(std::optional<std::string_view> text, std::uint32_t most) {
    if (!text || text->empty() || text->size() > 9) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : *text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > most) return std::nullopt;
    return value;
}

std::optional<std::string> parse_base64(std::optional<std::string_view> text) {
    if (!text) return std::nullopt;
    std::string bytes;
    std::uint32_t bits = 0;
    int count = 0, padding = 0;
    for (const char c : *text) {
        int value;
        if (c >= 'A' && c <= 'Z') {
            value = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            value = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            value = c - '0' + 52;
        } else if (c == '+' || c == '/') {
            value = c == '+' ? 62 : 63;
        } else if (c == '=' && count % 4 >= 2) {
            ++padding, value = 0;
        } else {
            return std::nullopt;
        }
        if (padding != 0 && c != '=') return std::nullopt;
        bits = bits << 6 | static_cast<std::uint32_t>(value);
        if (++count % 4 == 0) {
            for (int i = 2; i >= padding; --i) bytes += static_cast<char>(bits >> 8 * i);
            bits = 0;
        }
    }
    if (count % 4 != 0) return std::nullopt;
    return bytes;
}

std::optional<HashAlgorithm> parse_hash(std::optional<std::string_view> name) {
    if (name == "SHA1" || name == "SHA-1") return HashAlgorithm::sha1;
    if (name == "SHA256") return HashAlgorithm::sha256;
    if (name == "SHA384") return HashAlgorithm::sha384;
    if (name == "SHA512") return HashAlgorithm::sha512;
    return std::nullopt;
}

/// Agile encryption: the password's key encryptor in the XML descriptor,
/// AES in CBC mode, the verifier's input and hash each under a key of its own.
bool agile_opens(std::string_view xml, std::string_view password) {
    static constexpr std::string_view kPasswordNamespace =
        "http://schemas.microsoft.com/office/2006/keyEncryption/password";
    while (!xml.empty() && xml.back() == '\0') xml.remove_suffix(1);
    MemorySource input(xml);
    const auto reader = read_xml(input);
    for (;;) {
        const auto node = reader->next();
        if (node == XmlReader::Node::done) return false;
        if (node == XmlReader::Node::start && reader->ns() == kPasswordNamespace &&
            reader->name() == "encryptedKey") {
            break;
        }
    }
    const auto attribute = [&](std::string_view name) { return reader->attribute("", name); };
    // Ten times Excel's spins at most (the format allows ten million): about
    // two seconds of hashing.
    const auto spin_count = parse_count(attribute("spinCount"), 1'000'000);
    const auto salt_size = parse_count(attribute("saltSize"), 65536);
    const auto key_bits = parse_count(attribute("keyBits"), 256);
    const auto hash_size = parse_count(attribute("hashSize"), 64);
    const auto algorithm = parse_hash(attribute("hashAlgorithm"));
    const auto salt = parse_base64(attribute("saltValue"));
    const auto hash_input = parse_base64(attribute("encryptedVerifierHashInput"));
    const auto hash_value = parse_base64(attribute("encryptedVerifierHashValue"));
    if (!spin_count || !salt_size || !key_bits || !hash_size || !algorithm || !salt ||
        !hash_input || !hash_value || attribute("cipherAlgorithm") != "AES" ||
        attribute("cipherChaining") != "ChainingModeCBC" ||
        parse_count(attribute("blockSize"), 16) != 16u ||
        (*key_bits != 128 && *key_bits != 192 && *key_bits != 256) ||
        *hash_size != digest_size(*algorithm) || salt->size() != *salt_size || salt->empty() ||
        hash_input->size() < *salt_size || hash_value->size() < *hash_size) {
        return false;
    }
    const std::string hash = spun_hash(*algorithm, *salt, password, *spin_count);
    const auto decrypted = [&](std::string_view block_key, std::string_view data) {
        const Aes aes(fitted(digest(*algorithm, hash + std::string(block_key)), *key_bits / 8));
        return aes.decrypt_cbc(data, fitted(*salt, Aes::kBlock));
    };
    if (hash_input->size() % Aes::kBlock != 0 || hash_value->size() % Aes::kBlock != 0) {
        return false;
    }
    const std::string verifier =
        decrypted("\xfe\xa7\xd2\x76\x3b\x4b\x9e\x79", *hash_input).substr(0, *salt_size);
    const std::string expected =
        decrypted("\xd7\xaa\x0f\x6d\x30\x61\x34\x4e", *hash_value).substr(0, *hash_size);
    return digest(*algorithm, verifier) == expected;
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

Aes::Aes(std::string_view key) {
    const std::size_t words = key.size() / 4;  // of the key
    if (key.size() != 16 && key.size() != 24 && key.size() != 32) {
        throw std::invalid_argument("An AES key is 16, 24 or 32 bytes.");
    }
    rounds_ = static_cast<int>(words) + 6;
    std::memcpy(round_keys_.data(), key.data(), key.size());
    unsigned char round_constant = 1;
    for (std::size_t i = words; i < 4 * (static_cast<std::size_t>(rounds_) + 1); ++i) {
        unsigned char t[4];
        std::memcpy(t, &round_keys_[4 * (i - 1)], 4);
        if (i % words == 0) {
            const unsigned char first = t[0];
            for (int j = 0; j < 3; ++j) t[j] = kSBoxes.forward[t[j + 1]];
            t[3] = kSBoxes.forward[first];
            t[0] ^= round_constant;
            round_constant = times_x(round_constant);
        } else if (words > 6 && i % words == 4) {
            for (auto& byte : t) byte = kSBoxes.forward[byte];
        }
        for (int j = 0; j < 4; ++j)
            round_keys_[4 * i + j] = round_keys_[4 * (i - words) + j] ^ t[j];
    }
}

void Aes::add_round_key(unsigned char* block, int round) const {
    for (int i = 0; i < 16; ++i) block[i] ^= round_keys_[16 * round + i];
}

// The state is column by column, as the block's bytes are; row r is shifted
// r columns to the left when encrypting.

void Aes::encrypt_block(unsigned char* block) const {
    static constexpr unsigned char kFactors[4] = {2, 3, 1, 1};
    add_round_key(block, 0);
    for (int round = 1; round <= rounds_; ++round) {
        unsigned char state[16];
        for (int i = 0; i < 16; ++i) state[i] = kSBoxes.forward[block[(i + 4 * (i % 4)) % 16]];
        std::memcpy(block, state, 16);
        if (round != rounds_) mix_columns(block, kFactors);
        add_round_key(block, round);
    }
}

void Aes::decrypt_block(unsigned char* block) const {
    static constexpr unsigned char kFactors[4] = {14, 11, 13, 9};
    add_round_key(block, rounds_);
    for (int round = rounds_ - 1; round >= 0; --round) {
        unsigned char state[16];
        for (int i = 0; i < 16; ++i) state[(i + 4 * (i % 4)) % 16] = kSBoxes.inverse[block[i]];
        std::memcpy(block, state, 16);
        add_round_key(block, round);
        if (round != 0) mix_columns(block, kFactors);
    }
}

std::string Aes::decrypt_ecb(std::string_view data) const {
    if (data.size() % kBlock != 0) throw std::invalid_argument("AES decrypts whole blocks.");
    std::string out(data);
    for (std::size_t at = 0; at < out.size(); at += kBlock) {
        decrypt_block(reinterpret_cast<unsigned char*>(out.data() + at));
    }
    return out;
}

std::string Aes::decrypt_cbc(std::string_view data, std::string_view iv) const {
    if (iv.size() != kBlock) throw std::invalid_argument("An AES chain starts from one block.");
    std::string out = decrypt_ecb(data);
    // Each block's plain text is chained to the cipher text before it.
    for (std::size_t i = 0; i < out.size(); ++i) out[i] ^= i < kBlock ? iv[i] : data[i - kBlock];
    return out;
}

bool password_opens(std::string_view info, std::u16string_view password) {
    std::string utf16;  // little-endian
    for (const char16_t c : password) {
        utf16 += static_cast<char>(c & 0xff);
        utf16 += static_cast<char>(c >> 8);
    }
    if (info.size() < 8) return false;
    const std::uint32_t version = le32(info, 0);  // major, then minor
    try {
        if (version == 0x00020002 || version == 0x00020003 || version == 0x00020004) {
            return standard_opens(info, utf16);
        }
        if (version == 0x00040004) return agile_opens(info.substr(8), utf16);
    } catch (const XmlError&) {
    }
    return false;
}

}  // namespace convert
