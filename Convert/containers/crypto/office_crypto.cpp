#include "containers/crypto/office_crypto.h"

#include <cstdint>
#include <optional>
#include <string>

#include "containers/crypto/aes.h"
#include "containers/crypto/sha.h"
#include "containers/xml/xml_reader.h"

namespace convert {

namespace {

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
