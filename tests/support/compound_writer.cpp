#include "compound_writer.h"

#include <array>
#include <cstdint>
#include <stdexcept>

namespace testing_support {

namespace {

using convert::digest;
using convert::HashAlgorithm;

constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF;

void put32(std::string& out, std::size_t at, std::uint64_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(value >> 8 * i);
}
std::string le32(std::uint32_t value) {
    std::string bytes(4, '\0');
    put32(bytes, 0, value);
    return bytes;
}
std::size_t round_up(std::size_t size, std::size_t unit) {
    return (size + unit - 1) / unit * unit;
}

unsigned char multiply(unsigned a, unsigned b) {  // in GF(2^8)
    unsigned product = 0;
    for (; b != 0; b >>= 1, a = a << 1 ^ (a & 0x80 ? 0x11b : 0)) product ^= b & 1 ? a : 0;
    return static_cast<unsigned char>(product);
}

/// The password's hash spun as Office spins it.
std::string spun(HashAlgorithm hash, const std::string& salt, std::u16string_view password,
                 int count) {
    std::string utf16;
    for (const char16_t c : password)
        utf16 += {static_cast<char>(c & 0xff), static_cast<char>(c >> 8)};
    std::string h = digest(hash, salt + utf16);
    for (int i = 0; i < count; ++i) h = digest(hash, le32(static_cast<std::uint32_t>(i)) + h);
    return h;
}

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            group = group << 8 | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
        }
        for (std::size_t j = 0; j < 4; ++j)
            out += j <= n ? kDigits[group >> (18 - 6 * j) & 63] : '=';
    }
    return out;
}

}  // namespace

std::string aes_encrypt(std::string_view key, std::string_view data, std::string_view iv) {
    // The S-box by brute force: each byte's inverse, then the affine map.
    static const auto box = [] {
        std::array<unsigned char, 256> b{};
        for (unsigned x = 0; x < 256; ++x) {
            unsigned inverse = 0;
            while (x != 0 && multiply(x, inverse) != 1) ++inverse;
            unsigned s = inverse ^ 0x63;
            for (int r = 1; r <= 4; ++r) s ^= (inverse << r | inverse >> (8 - r)) & 0xff;
            b[x] = static_cast<unsigned char>(s);
        }
        return b;
    }();
    const std::size_t words = key.size() / 4, rounds = words + 6;
    std::string w(key);
    unsigned char constant = 1;
    for (std::size_t i = words; w.size() < 16 * (rounds + 1); ++i) {
        std::string t = w.substr(w.size() - 4);
        if (i % words == 0) t = t.substr(1) + t[0];
        for (char& c : t) c = i % words == 0 || (words > 6 && i % words == 4) ? box[c & 0xff] : c;
        if (i % words == 0) t[0] ^= constant, constant = multiply(constant, 2);
        for (int j = 0; j < 4; ++j) w += static_cast<char>(w[4 * (i - words) + j] ^ t[j]);
    }
    std::string out(data), chain(iv);
    for (std::size_t at = 0; at < out.size(); at += 16) {
        unsigned char s[16];
        for (int i = 0; i < 16; ++i)
            s[i] = (out[at + i] ^ (iv.empty() ? 0 : chain[i]) ^ w[i]) & 0xff;
        for (std::size_t round = 1; round <= rounds; ++round) {
            unsigned char t[16];  // shifted rows, substituted
            for (int i = 0; i < 16; ++i) t[i] = box[s[(i + 4 * (i % 4)) % 16]];
            for (int i = 0; i < 16; ++i) {
                const int c = i / 4 * 4, r = i % 4;
                s[i] = round == rounds ? t[i]
                                       : multiply(t[c + r], 2) ^ multiply(t[c + (r + 1) % 4], 3) ^
                                             t[c + (r + 2) % 4] ^ t[c + (r + 3) % 4];
                s[i] ^= static_cast<unsigned char>(w[16 * round + i]);
            }
        }
        for (int i = 0; i < 16; ++i) out[at + i] = static_cast<char>(s[i]);
        chain = out.substr(at, 16);
    }
    return out;
}

std::string make_compound(const std::vector<std::pair<std::string, std::string>>& streams,
                          int version) {
    const std::size_t size = version == 3 ? 512 : 4096;
    std::vector<std::uint32_t> fat{0xFFFFFFFD, kEnd, kEnd}, starts;  // starts: the small streams'
    const auto chain = [&](std::size_t bytes, std::size_t unit, std::vector<std::uint32_t>& table) {
        const auto first = static_cast<std::uint32_t>(table.size());
        for (std::size_t k = 1; k <= (bytes + unit - 1) / unit; ++k) {
            table.push_back(k * unit < bytes ? first + static_cast<std::uint32_t>(k) : kEnd);
        }
        return bytes == 0 ? kEnd : first;
    };
    std::vector<std::uint32_t> mini_fat;
    std::string mini, big;
    for (const auto& [name, content] : streams) {
        if (content.size() < 4096) starts.push_back(chain(content.size(), 64, mini_fat));
        if (content.size() < 4096) mini += content, mini.resize(round_up(mini.size(), 64));
    }
    const std::uint32_t mini_start = chain(mini.size(), size, fat);
    std::string directory(size, '\0');
    const auto entry = [&](std::size_t id, std::string_view name, char type, std::uint32_t child,
                           std::uint32_t right, std::uint32_t start, std::uint64_t length) {
        for (std::size_t i = 0; i < name.size(); ++i) directory[128 * id + 2 * i] = name[i];
        directory[128 * id + 64] = static_cast<char>(2 * (name.size() + 1));
        directory[128 * id + 66] = type, directory[128 * id + 67] = 1;  // black
        put32(directory, 128 * id + 68, kFree);
        put32(directory, 128 * id + 72, right);
        put32(directory, 128 * id + 76, child);
        put32(directory, 128 * id + 116, start);
        put32(directory, 128 * id + 120, length), put32(directory, 128 * id + 124, length >> 32);
    };
    entry(0, "Root Entry", 5, streams.empty() ? kFree : 1, kFree, mini_start, mini.size());
    for (std::size_t i = 0, small = 0; i < streams.size(); ++i) {
        const auto& [name, content] = streams[i];
        const std::uint32_t start =
            content.size() < 4096 ? starts[small++] : chain(content.size(), size, fat);
        if (content.size() >= 4096) big += content, big.resize(round_up(big.size(), size));
        const auto right = static_cast<std::uint32_t>(i + 2 < streams.size() + 1 ? i + 2 : kFree);
        entry(i + 1, name, 2, kFree, right, start, content.size());
    }
    std::string header(size, '\0'), fat_sector(size, '\xFF'), mini_fat_sector(size, '\xFF');
    if (fat.size() > size / 4 || mini_fat.size() > size / 4 || streams.size() >= size / 128) {
        throw std::length_error("Too much for the test's compound file.");
    }
    for (std::size_t i = 0; i < fat.size(); ++i) put32(fat_sector, 4 * i, fat[i]);
    for (std::size_t i = 0; i < mini_fat.size(); ++i) put32(mini_fat_sector, 4 * i, mini_fat[i]);
    header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    const std::uint32_t fields[] = {0x3E | std::uint32_t(version) << 16,
                                    0xFFFE | (version == 3 ? 9u : 12u) << 16,
                                    6,
                                    0,
                                    version == 3 ? 0u : 1u,  // directory sectors
                                    1,                       // FAT sectors
                                    1,                       // the directory's first sector
                                    0,
                                    4096,  // the mini stream's cutoff
                                    2,     // the mini FAT's first sector
                                    1,
                                    kEnd,  // no DIFAT sectors
                                    0,
                                    0};  // the FAT's first sector
    for (std::size_t i = 0; i < std::size(fields); ++i) put32(header, 24 + 4 * i, fields[i]);
    for (std::size_t i = 1; i < 109; ++i) put32(header, 76 + 4 * i, kFree);
    mini.resize(round_up(mini.size(), size));
    return header + fat_sector + directory + mini_fat_sector + mini + big;
}

std::string standard_encryption_info(std::u16string_view password, int key_bits) {
    const std::string salt(16, 's'), verifier(16, 'v');
    const std::string h =
        digest(HashAlgorithm::sha1, spun(HashAlgorithm::sha1, salt, password, 50000) + le32(0));
    std::string inner(64, '\x36'), outer(64, '\x5c');
    for (std::size_t i = 0; i < h.size(); ++i) inner[i] ^= h[i], outer[i] ^= h[i];
    const std::string key =
        (digest(HashAlgorithm::sha1, inner) + digest(HashAlgorithm::sha1, outer))
            .substr(0, static_cast<std::size_t>(key_bits / 8));
    std::string hash = digest(HashAlgorithm::sha1, verifier);
    hash.resize(32, '\0');
    std::string header(34, '\0');  // with an empty provider name
    put32(header, 0, 0x24);        // CryptoAPI, AES
    put32(header, 8, 0x660E + static_cast<std::uint32_t>(key_bits - 128) / 64);
    put32(header, 12, 0x8004);  // SHA-1
    put32(header, 16, static_cast<std::uint32_t>(key_bits));
    put32(header, 20, 0x18);  // the AES provider
    return le32(0x00020004) + le32(0x24) + le32(static_cast<std::uint32_t>(header.size())) +
           header + le32(16) + salt + aes_encrypt(key, verifier) + le32(20) +
           aes_encrypt(key, hash);
}

std::string agile_encryption_info(std::u16string_view password, HashAlgorithm hash, int key_bits,
                                  int spin_count) {
    const std::string salt(16, 'a'), input(16, 'i');
    const std::string h = spun(hash, salt, password, spin_count);
    const auto encrypted = [&](std::string_view block_key, std::string data) {
        std::string key = digest(hash, h + std::string(block_key));
        key.resize(static_cast<std::size_t>(key_bits / 8), '\x36');
        data.resize(round_up(data.size(), 16), '\0');
        return base64(aes_encrypt(key, data, salt));
    };
    const std::string_view names[] = {"SHA1", "SHA256", "SHA384", "SHA512"};
    const std::string hash_size = std::to_string(convert::digest_size(hash));
    return le32(0x00040004) + le32(0x40) +
           "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
           "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
           "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryption/password\">"
           "<keyEncryptors><keyEncryptor "
           "uri=\"http://schemas.microsoft.com/office/2006/keyEncryption/password\">"
           "<p:encryptedKey spinCount=\"" +
           std::to_string(spin_count) + "\" saltSize=\"16\" blockSize=\"16\" keyBits=\"" +
           std::to_string(key_bits) + "\" hashSize=\"" + hash_size +
           "\" cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"" +
           std::string(names[static_cast<int>(hash)]) + "\" saltValue=\"" + base64(salt) +
           "\" encryptedVerifierHashInput=\"" +
           encrypted("\xfe\xa7\xd2\x76\x3b\x4b\x9e\x79", input) +
           "\" encryptedVerifierHashValue=\"" +
           encrypted("\xd7\xaa\x0f\x6d\x30\x61\x34\x4e", digest(hash, input)) +
           "\"/></keyEncryptor></keyEncryptors></encryption>";
}

}  // namespace testing_support
