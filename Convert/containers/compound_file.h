// OLE compound files, as far as Convert reads them: the container of a
// workbook encrypted with a password, whose root storage holds the streams
// EncryptionInfo and EncryptedPackage. Streams are read whole, and only small
// ones; a damaged file never leads a read out of it or round a loop.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sources/byte_source.h"

namespace convert {

/// A compound file whose structure is damaged or unknown, or a stream over the bound.
struct CompoundFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The largest stream read: an EncryptionInfo takes a few kilobytes.
inline constexpr std::size_t kMaxCompoundStream = 1 << 20;

/// Whether `file` begins as an OLE compound file does: the container of a
/// password-protected workbook, not a zip.
bool is_compound_file(RandomAccessSource& file);

/// Whether the compound file `file` holds an encrypted package: a workbook
/// that needs a password to open, not an old binary one.
bool holds_encrypted_package(RandomAccessSource& file);

/// The stream `name` (ASCII, its case ignored) of the root storage of the
/// compound file `file`; nullopt when there is none. Throws
/// CompoundFileError, or ReadError when the file cannot be read.
std::optional<std::string> read_compound_stream(RandomAccessSource& file, std::string_view name);

enum class Encryption {
    none,              // not a compound file holding an encrypted package
    password,          // one that needs a password, or whose encryption cannot be told
    default_password,  // one Excel opens with its own password, asking for none
};

/// How the workbook `file` is encrypted. Throws ReadError only.
Encryption encryption_of(RandomAccessSource& file);

}  // namespace convert
