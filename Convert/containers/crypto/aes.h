// AES block encryption and decryption, and decryption of whole blocks chained
// (CBC) or not (ECB), in plain portable C++.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace convert {

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

}  // namespace convert
