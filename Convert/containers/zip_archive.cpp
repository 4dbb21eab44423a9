#include "containers/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <unordered_set>
#include <utility>

#include "containers/little_endian.h"
#include "text/ascii_text.h"

namespace convert {

namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kDirectoryHeader = 0x02014b50;
constexpr std::uint32_t kEndRecord = 0x06054b50;
constexpr std::uint32_t kZip64EndRecord = 0x06064b50;
constexpr std::uint32_t kZip64Locator = 0x07064b50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kDirectoryHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndRecordSize = 56;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;
/// Compressed bytes, and directory bytes, read at a time.
constexpr std::size_t kReadBlock = 256 << 10;

/// Whether `length` bytes from `offset` lie within the first `limit`.
bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t limit) {
    return offset <= limit && length <= limit - offset;
}

[[noreturn]] void damaged() {
    throw ZipError("The zip archive is damaged.");
}

[[noreturn]] void damaged(const std::string& entry, std::string_view detail = {}) {
    std::string reason = "The entry \"" + entry + "\" of the zip archive is damaged";
    if (!detail.empty()) reason.append(": ").append(detail);
    throw ZipError(reason + ".");
}

/// Reads `N` bytes at `offset`, which must lie within the first `limit`.
template <std::size_t N>
std::array<char, N> read_record(RandomAccessSource& file, std::uint64_t offset,
                                std::uint64_t limit) {
    if (!within(offset, N, limit)) damaged();
    std::array<char, N> record;
    file.read_at(offset, record.data(), N);
    return record;
}

/// Takes from the entry's Zip64 extra field the values its header left at
/// the marker, in the field's order.
void read_zip64_extra(std::string_view extra, ZipEntry& entry, std::uint32_t& disk) {
    while (extra.size() >= 4) {
        const std::uint16_t id = u16(extra.data());
        const std::size_t length = u16(extra.data() + 2);
        if (length > extra.size() - 4) damaged();
        std::string_view field = extra.substr(4, length);
        extra.remove_prefix(4 + length);
        if (id != 1) continue;
        const auto take = [&field](std::uint64_t& value, std::size_t width) {
            if (field.size() < width) damaged();
            value = width == 8 ? u64(field.data()) : u32(field.data());
            field.remove_prefix(width);
        };
        if (entry.size == kZip64Marker) take(entry.size, 8);
        if (entry.compressed_size == kZip64Marker) take(entry.compressed_size, 8);
        if (entry.local_header_offset == kZip64Marker) take(entry.local_header_offset, 8);
        if (disk == 0xFFFF) {
            std::uint64_t value = 0;
            take(value, 4);
            disk = static_cast<std::uint32_t>(value);
        }
        return;
    }
}

/// An entry's bytes: its compressed bytes read a block at a time, copied or
/// inflated into the caller's buffer, counted and summed as they go.
class EntryStream final : public ByteSource {
public:
    EntryStream(RandomAccessSource& file, const ZipEntry& entry, std::uint64_t data,
                const ZipLimits& limits)
        : file_(file),
          entry_(entry),
          next_(data),
          left_(entry.compressed_size),
          buffer_(std::make_unique_for_overwrite<char[]>(
              static_cast<std::size_t>(std::min<std::uint64_t>(left_, kReadBlock)))) {
        const std::uint64_t ratio = std::max<std::uint64_t>(limits.bomb_ratio, 1);
        const std::uint64_t scaled = left_ > std::numeric_limits<std::uint64_t>::max() / ratio
                                         ? std::numeric_limits<std::uint64_t>::max()
                                         : left_ * ratio;
        bound_ = std::max(scaled, limits.bomb_floor);
        ratio_ = ratio;
        if (entry_.method == 8) {
            if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) {
                throw ZipError(z_.msg != nullptr ? z_.msg : "zlib could not start inflating.");
            }
            inflating_ = true;
        }
    }
    ~EntryStream() override {
        if (inflating_) inflateEnd(&z_);
    }
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    std::size_t read(char* into, std::size_t size) override {
        if (ended_) return 0;
        size = std::min<std::size_t>(size, std::numeric_limits<uInt>::max());
        std::size_t produced = 0;
        bool end = false;
        if (!inflating_) {
            if (z_.avail_in == 0 && left_ != 0) refill();
            produced = std::min<std::size_t>(size, z_.avail_in);
            std::copy_n(reinterpret_cast<const char*>(z_.next_in), produced, into);
            z_.next_in += produced;
            z_.avail_in -= static_cast<uInt>(produced);
            end = z_.avail_in == 0 && left_ == 0;
        } else {
            z_.next_out = reinterpret_cast<Bytef*>(into);
            z_.avail_out = static_cast<uInt>(size);
            while (z_.avail_out == size && !end) {
                if (z_.avail_in == 0 && left_ != 0) refill();
                const int status = inflate(&z_, Z_NO_FLUSH);
                if (status == Z_STREAM_END) {
                    end = true;
                } else if (status == Z_BUF_ERROR && left_ == 0 && z_.avail_in == 0) {
                    damaged(entry_.name, "its compressed data ends too soon");
                } else if (status == Z_MEM_ERROR) {
                    throw std::bad_alloc();
                } else if (status != Z_OK && status != Z_BUF_ERROR) {
                    damaged(entry_.name, z_.msg != nullptr ? z_.msg : "");
                }
            }
            produced = size - z_.avail_out;
        }
        total_ += produced;
        if (total_ > bound_) {
            throw ZipError("The entry \"" + entry_.name + "\" of the zip archive expands to over " +
                           std::to_string(ratio_) + " times its compressed size, and is refused.");
        }
        if (total_ > entry_.size) damaged(entry_.name, "it holds more bytes than its size");
        crc_ = crc32_z(crc_, reinterpret_cast<const Bytef*>(into), produced);
        if (end) {
            if (total_ != entry_.size) damaged(entry_.name, "it holds fewer bytes than its size");
            if (crc_ != entry_.crc32) damaged(entry_.name, "its CRC-32 does not match");
            ended_ = true;
        }
        return produced;
    }

private:
    void refill() {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, kReadBlock));
        file_.read_at(next_, buffer_.get(), n);
        next_ += n;
        left_ -= n;
        z_.next_in = reinterpret_cast<Bytef*>(buffer_.get());
        z_.avail_in = static_cast<uInt>(n);
    }

    RandomAccessSource& file_;
    ZipEntry entry_;
    std::uint64_t next_;  // the next compressed byte's offset
    std::uint64_t left_;  // compressed bytes not yet read
    std::unique_ptr<char[]> buffer_;
    z_stream z_{};  // its input fields hold the buffer's unused bytes, stored too
    bool inflating_ = false;
    bool ended_ = false;
    std::uint64_t bound_ = 0;
    std::uint64_t ratio_ = 0;
    std::uint64_t total_ = 0;
    uLong crc_ = crc32_z(0, nullptr, 0);
};

/// Where an archive's central directory lies, and how many entries it lists.
struct Directory {
    std::uint64_t offset = 0, size = 0, count = 0;
};

/// Finds the directory through the end record (the last one whose comment
/// fits the file) and, for Zip64, the record its locator points at.
Directory find_directory(RandomAccessSource& file) {
    const std::uint64_t size = file.size();

    const auto tail_size =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndRecordSize + kMaxComment));
    std::string tail(tail_size, '\0');
    file.read_at(size - tail_size, tail.data(), tail_size);
    std::size_t at = tail_size >= kEndRecordSize ? tail_size - kEndRecordSize + 1 : 0;
    while (at-- > 0) {
        if (u32(&tail[at]) == kEndRecord &&
            u16(&tail[at + 20]) <= tail_size - at - kEndRecordSize) {
            break;
        }
    }
    if (at == std::string::npos) {
        // A zip cut short keeps its first local header.
        std::array<char, 4> start{};
        if (size >= start.size()) file.read_at(0, start.data(), start.size());
        if (u32(start.data()) == kLocalHeader) damaged();
        throw ZipError("The file is not a zip archive.");
    }
    const char* end = &tail[at];
    const std::uint64_t end_offset = size - tail_size + at;
    std::uint64_t count = u16(end + 10);
    std::uint64_t directory_size = u32(end + 12);
    std::uint64_t directory_offset = u32(end + 16);
    std::uint32_t disk = u16(end + 4);
    std::uint32_t directory_disk = u16(end + 6);
    std::uint64_t directory_limit = end_offset;

    // Zip64: a locator just before the end record points at the Zip64 end
    // record, whose values replace the end record's.
    if (end_offset >= kZip64LocatorSize) {
        const auto locator =
            read_record<kZip64LocatorSize>(file, end_offset - kZip64LocatorSize, size);
        if (u32(locator.data()) == kZip64Locator) {
            const std::uint64_t record_offset = u64(&locator[8]);
            const auto record = read_record<kZip64EndRecordSize>(file, record_offset,
                                                                 end_offset - kZip64LocatorSize);
            if (u32(record.data()) != kZip64EndRecord) damaged();
            disk = u32(&record[16]);
            directory_disk = u32(&record[20]);
            count = u64(&record[32]);
            directory_size = u64(&record[40]);
            directory_offset = u64(&record[48]);
            directory_limit = record_offset;
        }
    }
    if (disk != 0 || directory_disk != 0) {
        throw ZipError("The zip archive spans several files, which is not supported.");
    }
    if (!within(directory_offset, directory_size, directory_limit) ||
        count > directory_size / kDirectoryHeaderSize) {
        damaged();
    }
    if (count > kMaxZipEntries) {
        throw ZipError("The zip archive lists more than " + std::to_string(kMaxZipEntries) +
                       " entries.");
    }
    return {directory_offset, directory_size, count};
}

/// The directory's bytes a block at a time: it may be as large as the file.
class DirectoryBytes {
public:
    DirectoryBytes(RandomAccessSource& file, const Directory& directory)
        : file_(file), next_(directory.offset), end_(directory.offset + directory.size) {}
    /// The next `n` bytes, valid until the next call.
    const char* take(std::size_t n) {
        if (block_.size() - used_ < n) {
            block_.erase(0, used_);
            used_ = 0;
            const auto more = static_cast<std::size_t>(
                std::min<std::uint64_t>(std::max(n - block_.size(), kReadBlock), end_ - next_));
            if (block_.size() + more < n) damaged();
            const std::size_t old = block_.size();
            block_.resize(old + more);
            file_.read_at(next_, block_.data() + old, more);
            next_ += more;
        }
        used_ += n;
        return block_.data() + used_ - n;
    }

private:
    RandomAccessSource& file_;
    std::uint64_t next_, end_;
    std::string block_;
    std::size_t used_ = 0;
};

/// Reads the next entry's record, its name counted into `names`.
ZipEntry read_entry(DirectoryBytes& bytes, std::uint64_t directory_offset, std::size_t& names) {
    const char* header = bytes.take(kDirectoryHeaderSize);
    if (u32(header) != kDirectoryHeader) damaged();
    ZipEntry entry;
    entry.flags = u16(header + 8);
    entry.method = u16(header + 10);
    entry.crc32 = u32(header + 16);
    entry.compressed_size = u32(header + 20);
    entry.size = u32(header + 24);
    const std::size_t name_length = u16(header + 28);
    const std::size_t extra_length = u16(header + 30);
    const std::size_t comment_length = u16(header + 32);
    std::uint32_t entry_disk = u16(header + 34);
    entry.local_header_offset = u32(header + 42);
    const char* rest = bytes.take(name_length + extra_length + comment_length);
    names += name_length;
    if (names > kMaxZipNames) {
        throw ZipError("The names of the zip archive's entries take more than " +
                       std::to_string(kMaxZipNames >> 20) + " MB.");
    }
    entry.name.assign(rest, name_length);
    read_zip64_extra({rest + name_length, extra_length}, entry, entry_disk);
    if (entry_disk != 0) damaged();
    // The local header and the data lie before the directory.
    if (!within(entry.local_header_offset, kLocalHeaderSize, directory_offset) ||
        !within(entry.local_header_offset + kLocalHeaderSize, entry.compressed_size,
                directory_offset)) {
        damaged();
    }
    return entry;
}

}  // namespace

ZipArchive::ZipArchive(RandomAccessSource& file, ZipLimits limits) : file_(file), limits_(limits) {
    const Directory directory = find_directory(file);
    directory_offset_ = directory.offset;
    DirectoryBytes bytes(file, directory);
    entries_.reserve(static_cast<std::size_t>(directory.count));
    std::size_t names = 0;
    // Two records of one entry's bytes would read them as two parts.
    std::unordered_set<std::uint64_t> local_headers;
    for (std::uint64_t i = 0; i < directory.count; ++i) {
        ZipEntry entry = read_entry(bytes, directory.offset, names);
        if (!local_headers.insert(entry.local_header_offset).second) {
            damaged(entry.name, "another entry's record names its bytes too");
        }
        entries_.push_back(std::move(entry));
    }
    // A part named twice could be read as either.
    by_name_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!by_name_.emplace(entries_[i].name, i).second) {
            throw ZipError("The zip archive holds the part " + entries_[i].name + " twice.");
        }
        by_folded_name_.emplace(upper(entries_[i].name), i);
    }
}

const ZipEntry* ZipArchive::find(std::string_view name) const {
    const auto found = by_name_.find(name);
    return found == by_name_.end() ? nullptr : &entries_[found->second];
}

const ZipEntry* ZipArchive::find_ignoring_case(std::string_view name) const {
    if (const ZipEntry* entry = find(name)) return entry;
    const auto found = by_folded_name_.find(upper(name));
    return found == by_folded_name_.end() ? nullptr : &entries_[found->second];
}

std::unique_ptr<ByteSource> ZipArchive::open(const ZipEntry& entry) const {
    if (entry.encrypted()) {
        throw ZipError("The entry \"" + entry.name + "\" of the zip archive is encrypted.");
    }
    if (entry.method != 0 && entry.method != 8) {
        throw ZipError("The entry \"" + entry.name +
                       "\" of the zip archive is compressed in a way that cannot be read "
                       "(method " +
                       std::to_string(entry.method) + ").");
    }
    const auto local =
        read_record<kLocalHeaderSize>(file_, entry.local_header_offset, directory_offset_);
    if (u32(local.data()) != kLocalHeader) damaged(entry.name);
    const std::uint64_t data =
        entry.local_header_offset + kLocalHeaderSize + u16(&local[26]) + u16(&local[28]);
    if (!within(data, entry.compressed_size, directory_offset_) ||
        (entry.method == 0 && entry.compressed_size != entry.size)) {
        damaged(entry.name);
    }
    return std::make_unique<EntryStream>(file_, entry, data, limits_);
}

}  // namespace convert
