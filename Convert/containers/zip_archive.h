// A zip archive's entries, read through its central directory, each opened as
// a stream that inflates as it is read and checks its size and CRC-32 at the
// end. Stored and deflated entries are read, Zip64 included; entries the zip
// encrypts, or compresses otherwise, are listed but refused on opening.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sources/byte_source.h"

namespace convert {

/// A file that is not a zip archive, a damaged one, or an entry refused.
struct ZipError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ZipEntry {
    std::string name;  // the name's bytes as stored
    std::uint64_t compressed_size = 0;
    std::uint64_t size = 0;
    std::uint64_t local_header_offset = 0;
    std::uint16_t method = 0;  // 0 stored, 8 deflated
    std::uint16_t flags = 0;
    std::uint32_t crc32 = 0;

    bool encrypted() const { return (flags & 1) != 0; }
};

/// What an opened entry may cost. An entry is refused once it has inflated
/// past both `bomb_ratio` times its compressed size and `bomb_floor` bytes.
struct ZipLimits {
    std::uint64_t bomb_ratio = 100;
    std::uint64_t bomb_floor = std::uint64_t{1} << 30;
};

class ZipArchive {
public:
    /// Reads the directory; throws ZipError, or ReadError from `file`. The
    /// file must outlive the archive and the streams it opens.
    explicit ZipArchive(RandomAccessSource& file, ZipLimits limits = {});
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const std::vector<ZipEntry>& entries() const { return entries_; }
    /// The entry named exactly `name`, or null.
    const ZipEntry* find(std::string_view name) const;
    /// The entry named `name` ignoring the case of ASCII letters (one named
    /// exactly first), or null.
    const ZipEntry* find_ignoring_case(std::string_view name) const;
    /// The entry's bytes as a stream, inflated as they are read, which throws
    /// ZipError when they turn out damaged or too many. Throws ZipError for
    /// an entry that cannot be read at all.
    std::unique_ptr<ByteSource> open(const ZipEntry& entry) const;

private:
    RandomAccessSource& file_;
    ZipLimits limits_;
    std::uint64_t directory_offset_ = 0;  // entries' data lies before it
    std::vector<ZipEntry> entries_;
    std::unordered_map<std::string_view, std::size_t> by_name_;  // of entries_
    std::unordered_map<std::string, std::size_t> by_folded_name_;
};

/// The most entries a directory may list, and bytes their names may take in
/// all: far more than any workbook has.
inline constexpr std::size_t kMaxZipEntries = 100'000;
inline constexpr std::size_t kMaxZipNames = std::size_t{16} << 20;

}  // namespace convert
