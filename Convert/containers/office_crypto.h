// The cryptography of Office's encrypted packages, in plain portable C++: the
// SHA-1 and SHA-2 digests, AES, and whether a password opens a
// package as its EncryptionInfo stream describes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace convert {

enum class HashAlgorithm { sha1, sha256, sha384, sha512 };

/// 20, 32, 48 or 64 bytes.
std::size_t digest_size(HashAlgorithm algorithm);
std::string digest(HashAlgorithm algorithm, std::string_view bytes);

/// AES with a 16-, 24- or 32-byte key (std::invalid_argument otherwise).
class Aes {
public:
    static constexpr std::size_t kBlock = 16;

    explicit Aes(std::string_view key);
    /// One block, in place.
    void encrypt_block(unsigned char* block) const;
    void decrypt_block(unsigned char* block) const;
    /// `data` must be whole blocks (std::invalid_argument otherwise).
    std::string decrypt_ecb(std::string_view data) const;
    /// `iv` is one block.
    std::string decrypt_cbc(std::string_view data, std::string_view iv) const;

private:
    void add_round_key(unsigned char* block, int round) const;

    int rounds_;
    std::array<unsigned char, 240> round_keys_{};
};

/// Whether `password` opens the package that the EncryptionInfo stream `info`
/// describes: Standard or Agile encryption with AES. False for anything else,
/// and for an `info` that cannot be read.
bool password_opens(std::string_view info, std::u16string_view password);

}  // namespace convert
