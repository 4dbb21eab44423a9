// Whether a password opens an encrypted Office package, as its EncryptionInfo
// stream describes it.
#pragma once

#include <string_view>

namespace convert {

/// Whether `password` opens the package that the EncryptionInfo stream `info`
/// describes: Standard or Agile encryption with AES. False for anything else,
/// and for an `info` that cannot be read.
bool password_opens(std::string_view info, std::u16string_view password);

}  // namespace convert
