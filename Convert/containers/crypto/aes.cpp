#include "containers/crypto/aes.h"

#include <cstring>
#include <stdexcept>

namespace convert {

namespace {

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

}  // namespace

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

}  // namespace convert
