// The SHA-1 and SHA-2 digests of a byte string, in plain portable C++.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace convert {

enum class HashAlgorithm { sha1, sha256, sha384, sha512 };

/// 20, 32, 48 or 64 bytes.
std::size_t digest_size(HashAlgorithm algorithm);
std::string digest(HashAlgorithm algorithm, std::string_view bytes);

}  // namespace convert
