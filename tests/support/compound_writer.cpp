#include "compound_writer.h"

#include <cstdint>

#include "containers/crypto/aes.h"

namespace testing_support {

namespace {

using namespace convert;

constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF;

void put32(std::string& out, std::size_t at, std::uint64_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(value >> 8 * i);
}
std::string le32(std::uint32_t value) {
    std::string bytes(4, '\0');
    put32(bytes, 0, value);
    return bytes;
}

/// The password's hash spun as Office spins it.
std::string spun(HashAlgorithm hash, std::string h, std::u16string_view password, int count) {
    for (const char16_t c : password) h += {static_cast<char>(c & 0xff), static_cast<char>(c >> 8)};
    h = digest(hash, h);
    for (int i = 0; i < count; ++i) h = digest(hash, le32(static_cast<std::uint32_t>(i)) + h);
    return h;
}

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = 0;
        for (std::size_t j = i; j < i + 3; ++j) {
            group = group << 8 | (j < bytes.size() ? static_cast<unsigned char>(bytes[j]) : 0u);
        }
        for (int j = 0; j < 4; ++j)
            out += i + j > bytes.size() ? '=' : kDigits[group >> (18 - 6 * j) & 63];
    }
    return out;
}

}  // namespace

std::string aes_encrypt(std::string_view key, std::string_view data, std::string_view iv) {
    const convert::Aes aes(key);
    std::string out(data), before(iv);
    for (std::size_t at = 0; at < out.size(); at += 16) {
        for (std::size_t i = 0; i < before.size(); ++i) out[at + i] ^= before[i];
        aes.encrypt_block(reinterpret_cast<unsigned char*>(&out[at]));
        if (!iv.empty()) before = out.substr(at, 16);
    }
    return out;
}

std::string make_compound(const std::vector<std::pair<std::string, std::string>>& streams,
                          int version) {
    const std::size_t size = version == 3 ? 512 : 4096;
    std::vector<std::uint32_t> fat{0xFFFFFFFD, kEnd, kEnd}, mini_fat;
    const auto chain = [&](std::size_t bytes, std::size_t unit, std::vector<std::uint32_t>& table) {
        const auto first = static_cast<std::uint32_t>(table.size());
        for (std::size_t k = 1; k <= (bytes + unit - 1) / unit; ++k) {
            table.push_back(k * unit < bytes ? first + static_cast<std::uint32_t>(k) : kEnd);
        }
        return bytes == 0 ? kEnd : first;
    };
    std::string directory(size, '\0'), mini, big;
    const auto entry = [&](std::size_t id, std::string_view name, char type, std::uint32_t start,
                           std::uint64_t length) {
        const std::size_t at = 128 * id;  // siblings and children: none yet
        for (std::size_t i = 0; i < name.size(); ++i) directory[at + 2 * i] = name[i];
        directory[at + 64] = static_cast<char>(2 * (name.size() + 1));
        directory[at + 66] = type, directory[at + 67] = 1;  // black
        const std::uint64_t fields[] = {kFree, kFree, kFree, start, length, length >> 32};
        for (int i = 0; i < 6; ++i) put32(directory, at + (i < 3 ? 68 : 104) + 4 * i, fields[i]);
    };
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const auto& [name, content] = streams[i];
        const bool small = content.size() < 4096;  // in the mini stream
        const std::size_t unit = small ? 64 : size;
        entry(i + 1, name, 2, chain(content.size(), unit, small ? mini_fat : fat), content.size());
        (small ? mini : big) += content + std::string((unit - content.size() % unit) % unit, '\0');
        if (i > 0) put32(directory, 128 * i + 72, i + 1);  // the right sibling of the one before
    }
    entry(0, "Root Entry", 5, chain(mini.size(), size, fat), mini.size());
    if (!streams.empty()) put32(directory, 76, 1);
    std::string header(size, '\0'), fat_sector(size, '\xFF'), mini_fat_sector(size, '\xFF');
    for (std::size_t i = 0; i < fat.size(); ++i) put32(fat_sector, 4 * i, fat[i]);
    for (std::size_t i = 0; i < mini_fat.size(); ++i) put32(mini_fat_sector, 4 * i, mini_fat[i]);
    header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    // From offset 24: versions, byte order and sector sizes, directory and
    // FAT sectors, the directory's first sector, the mini stream's cutoff, the
    // mini FAT's sector, no DIFAT, and the FAT's one sector.
    const std::uint32_t major = static_cast<std::uint32_t>(version), shift = version == 3 ? 9 : 12;
    const std::uint32_t fields[] = {
        0x3E | major << 16, 0xFFFE | shift << 16, 6, 0, major - 3, 1, 1, 0, 4096, 2, 1, kEnd, 0, 0};
    for (std::size_t i = 0; i < std::size(fields); ++i) put32(header, 24 + 4 * i, fields[i]);
    for (std::size_t i = 1; i < 109; ++i) put32(header, 76 + 4 * i, kFree);
    mini.resize((mini.size() + size - 1) / size * size);
    return header + fat_sector + directory + mini_fat_sector + big + mini;
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
    // Flags (CryptoAPI, AES), no extra size, AES, SHA-1, the key's size, the
    // AES provider, two reserved fields and an empty provider name.
    std::string header(34, '\0');
    const auto bits = static_cast<std::uint32_t>(key_bits);
    const std::uint32_t fields[] = {0x24, 0, 0x660E + (bits - 128) / 64, 0x8004, bits, 0x18};
    for (std::size_t i = 0; i < std::size(fields); ++i) put32(header, 4 * i, fields[i]);
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
        data.resize((data.size() + 15) / 16 * 16, '\0');
        return base64(aes_encrypt(key, data, salt));
    };
    const std::string_view names[] = {"SHA1", "SHA256", "SHA384", "SHA512"};
    const std::string hash_size = std::to_string(convert::digest_size(hash));
    return le32(0x00040004) + le32(0x40) +
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
           "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryption/password\">"
           "<p:encryptedKey spinCount=\"" +
           std::to_string(spin_count) + "\" saltSize=\"16\" blockSize=\"16\" keyBits=\"" +
           std::to_string(key_bits) + "\" hashSize=\"" + hash_size +
           "\" cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"" +
           std::string(names[static_cast<int>(hash)]) + "\" saltValue=\"" + base64(salt) +
           "\" encryptedVerifierHashInput=\"" +
           encrypted("\xfe\xa7\xd2\x76\x3b\x4b\x9e\x79", input) +
           "\" encryptedVerifierHashValue=\"" +
           encrypted("\xd7\xaa\x0f\x6d\x30\x61\x34\x4e", digest(hash, input)) + "\"/></encryption>";
}

}  // namespace testing_support
