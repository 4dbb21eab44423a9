// Compound files built in memory, and the EncryptionInfo streams of packages
// encrypted with a password, so that tests make their own.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "containers/office_crypto.h"

namespace testing_support {

/// A compound file of version 3 (512-byte sectors) or 4 (4096-byte ones)
/// whose root holds `streams` (name, content), at most three in version 3.
/// Sector 0 holds the FAT, 1 the directory (the root, then the streams in
/// order), 2 the mini FAT; then come the mini stream and the larger streams.
std::string make_compound(const std::vector<std::pair<std::string, std::string>>& streams,
                          int version = 3);

/// The EncryptionInfo of a package encrypted for `password`: Standard
/// encryption, or Agile with `hash` spun `spin_count` times.
std::string standard_encryption_info(std::u16string_view password, int key_bits);
std::string agile_encryption_info(std::u16string_view password, convert::HashAlgorithm hash,
                                  int key_bits, int spin_count);

/// `data` (whole blocks) encrypted with AES under `key`, chained from `iv`
/// (CBC), or block by block without one (ECB).
std::string aes_encrypt(std::string_view key, std::string_view data, std::string_view iv = {});

}  // namespace testing_support
