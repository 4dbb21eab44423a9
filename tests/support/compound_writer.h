// Compound files, and EncryptionInfo streams for a password, built in memory.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "containers/crypto/sha.h"

namespace testing_support {

/// A compound file of version 3 (512-byte sectors) or 4 (4096-byte ones)
/// whose root holds `streams` (name, content), at most three in version 3.
/// Sector 0 holds the FAT, 1 the directory (the root, then the streams in
/// order), 2 the mini FAT; then come the larger streams and the mini stream.
std::string make_compound(const std::vector<std::pair<std::string, std::string>>& streams,
                          int version = 3);

/// Standard encryption, and Agile with `hash` spun `spin_count` times.
std::string standard_encryption_info(std::u16string_view password, int key_bits);
std::string agile_encryption_info(std::u16string_view password, convert::HashAlgorithm hash,
                                  int key_bits, int spin_count);

/// Whole blocks encrypted with AES, chained from `iv` (CBC), or not (ECB).
std::string aes_encrypt(std::string_view key, std::string_view data, std::string_view iv = {});

}  // namespace testing_support
