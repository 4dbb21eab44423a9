#include "containers/compound_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "containers/crypto/office_crypto.h"
#include "containers/little_endian.h"

namespace convert {

namespace {

constexpr char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::uint32_t kFirstSpecialSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kHeaderFatSectors = 109;
constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kMiniSector = 64;
constexpr std::uint32_t kMiniStreamCutoff = 4096;
constexpr unsigned char kStream = 2, kRoot = 5;
/// The most of the directory read (8192 entries), and of the mini stream.
constexpr std::size_t kMaxDirectory = 1 << 20;
constexpr std::size_t kMaxMiniStream = 16 << 20;
/// Bytes scanned at a time for the name of an encrypted package.
constexpr std::size_t kReadBlock = 256 << 10;

[[noreturn]] void damaged(const std::string& why) {
    throw CompoundFileError("The compound file is damaged: " + why);
}

/// The sectors of the chain from `first`, `next` giving each one's successor,
/// up to the end of the chain or `most` sectors. A sector from `limit` on,
/// or met twice, is refused.
template <typename Next>
std::vector<std::uint32_t> follow(std::uint32_t first, std::size_t most, std::uint32_t limit,
                                  Next next) {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t sector = first; sector != kEndOfChain && chain.size() < most;) {
        if (sector >= limit) damaged("a chain of sectors leads out of the file.");
        chain.push_back(sector);
        if (chain.size() < most) sector = next(sector);
    }
    std::vector<std::uint32_t> sorted = chain;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        damaged("a chain of sectors loops.");
    }
    return chain;
}

/// Whether the directory entry `entry` is named `name`, ignoring the case of a-z.
bool named(const std::string& entry, std::string_view name) {
    const auto upper = [](unsigned c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    if (std::size_t{u16(&entry[64])} != 2 * (name.size() + 1) || name.size() > 31) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (upper(u16(&entry[2 * i])) != upper(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

/// A compound file's header, with its table of sectors (FAT) read as needed.
class CompoundFile {
public:
    explicit CompoundFile(RandomAccessSource& file);
    std::optional<std::string> read_stream(std::string_view name);

private:
    std::string read(std::uint64_t offset, std::size_t size);
    std::uint32_t read_u32(std::uint64_t offset) { return u32(read(offset, 4).data()); }
    std::uint64_t offset_of(std::uint32_t sector) const {
        return (std::uint64_t{sector} + 1) << shift_;
    }
    std::uint32_t fat_sector(std::size_t index);
    std::uint32_t next_sector(std::uint32_t sector);
    std::vector<std::uint32_t> chain(std::uint32_t first, std::size_t most) {
        return follow(first, most, sectors_, [this](std::uint32_t s) { return next_sector(s); });
    }
    std::string entry(std::uint32_t id);
    std::uint64_t stream_size(const std::string& entry) const {
        return shift_ == 9 ? u32(&entry[120]) : u64(&entry[120]);  // version 3: 32 bits
    }
    std::string read_regular(std::uint32_t first, std::size_t size);
    std::string read_mini(std::uint32_t first, std::size_t size);

    RandomAccessSource& file_;
    std::string header_;
    unsigned shift_ = 9;  // sectors of 512 bytes (version 3) or 4096 (version 4)
    std::size_t sector_size_ = 0;
    std::uint32_t sectors_ = 0;  // after the header, the last perhaps cut short
    std::uint32_t fat_sectors_ = 0;
    std::vector<std::uint32_t> fat_;  // the FAT's sectors found so far
    std::uint32_t next_difat_ = kEndOfChain;
    std::uint32_t difat_left_ = 0;
    std::vector<std::uint32_t> directory_;
};

CompoundFile::CompoundFile(RandomAccessSource& file) : file_(file) {
    header_ = read(0, kHeaderSize);
    const char* h = header_.data();
    shift_ = u16(h + 30);
    const unsigned version = u16(h + 26);
    if (!std::equal(kSignature, kSignature + 8, h) || u16(h + 28) != 0xFFFE ||
        !((version == 3 && shift_ == 9) || (version == 4 && shift_ == 12)) || u16(h + 32) != 6 ||
        u32(h + 56) != kMiniStreamCutoff) {
        throw CompoundFileError("The file is not a compound file that can be read.");
    }
    sector_size_ = std::size_t{1} << shift_;
    const std::uint64_t size = file_.size();
    sectors_ = size <= sector_size_ ? 0
                                    : static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                          (size - 1) / sector_size_, kFirstSpecialSector));
    fat_sectors_ = u32(h + 44);
    for (std::size_t i = 0; i < std::min<std::size_t>(kHeaderFatSectors, fat_sectors_); ++i) {
        fat_.push_back(u32(h + 76 + 4 * i));
    }
    next_difat_ = u32(h + 68);
    difat_left_ = u32(h + 72);
    directory_ = chain(u32(h + 48), kMaxDirectory / sector_size_);
}

std::string CompoundFile::read(std::uint64_t offset, std::size_t size) {
    if (offset > file_.size() || size > file_.size() - offset) damaged("it is cut short.");
    std::string bytes(size, '\0');
    file_.read_at(offset, bytes.data(), size);
    return bytes;
}

std::uint32_t CompoundFile::fat_sector(std::size_t index) {
    if (index >= fat_sectors_) damaged("a sector lies beyond the table of sectors.");
    // Past the header's list, each DIFAT sector lists more of the FAT's
    // sectors, and last the next DIFAT sector.
    const std::size_t listed = sector_size_ / 4 - 1;
    while (index >= fat_.size()) {
        if (difat_left_ == 0 || next_difat_ >= sectors_)
            damaged("the table of sectors is cut short.");
        --difat_left_;
        const std::string difat = read(offset_of(next_difat_), sector_size_);
        for (std::size_t i = 0; i < listed && fat_.size() < fat_sectors_; ++i) {
            fat_.push_back(u32(&difat[4 * i]));
        }
        next_difat_ = u32(&difat[4 * listed]);
    }
    return fat_[index];
}

std::uint32_t CompoundFile::next_sector(std::uint32_t sector) {
    const std::size_t per_sector = sector_size_ / 4;
    const std::uint32_t fat = fat_sector(sector / per_sector);
    if (fat >= sectors_) damaged("the table of sectors leads out of the file.");
    return read_u32(offset_of(fat) + 4 * (sector % per_sector));
}

std::string CompoundFile::entry(std::uint32_t id) {
    const std::size_t per_sector = sector_size_ / kEntrySize;
    if (id / per_sector >= directory_.size()) damaged("an entry lies beyond the directory.");
    return read(offset_of(directory_[id / per_sector]) + id % per_sector * kEntrySize, kEntrySize);
}

std::optional<std::string> CompoundFile::read_stream(std::string_view name) {
    const std::string root = entry(0);
    if (static_cast<unsigned char>(root[66]) != kRoot) damaged("the directory has no root.");
    // The root's children are a tree of siblings; walked whole, its order is not relied on.
    std::vector<bool> seen(directory_.size() * (sector_size_ / kEntrySize));
    std::vector<std::uint32_t> pending{u32(&root[76])};
    while (!pending.empty()) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoEntry) continue;
        if (id >= seen.size() || seen[id]) damaged("the directory leads out of itself or loops.");
        seen[id] = true;
        const std::string found = entry(id);
        pending.push_back(u32(&found[68]));
        pending.push_back(u32(&found[72]));
        if (static_cast<unsigned char>(found[66]) != kStream || !named(found, name)) continue;
        const std::uint64_t size = stream_size(found);
        if (size > kMaxCompoundStream) {
            throw CompoundFileError("The stream \"" + std::string(name) +
                                    "\" of the compound file is too large to be read.");
        }
        return size < kMiniStreamCutoff
                   ? read_mini(u32(&found[116]), static_cast<std::size_t>(size))
                   : read_regular(u32(&found[116]), static_cast<std::size_t>(size));
    }
    return std::nullopt;
}

std::string CompoundFile::read_regular(std::uint32_t first, std::size_t size) {
    const auto sectors = chain(first, (size + sector_size_ - 1) / sector_size_);
    if (sectors.size() * sector_size_ < size) damaged("a stream ends before its size.");
    std::string bytes;
    for (const std::uint32_t sector : sectors) {
        bytes += read(offset_of(sector), std::min(sector_size_, size - bytes.size()));
    }
    return bytes;
}

std::string CompoundFile::read_mini(std::uint32_t first, std::size_t size) {
    // Small streams lie in 64-byte sectors of the mini stream, which is the
    // root's own stream; the mini FAT chains them.
    const std::string root = entry(0);
    const auto mini_sectors = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(stream_size(root), kMaxMiniStream) / kMiniSector);
    const auto mini_fat = chain(u32(&header_[60]), kMaxMiniStream / kMiniSector * 4 / sector_size_);
    const std::size_t per_sector = sector_size_ / 4;
    const auto next = [&](std::uint32_t sector) {
        if (sector / per_sector >= mini_fat.size()) damaged("the mini FAT is cut short.");
        return read_u32(offset_of(mini_fat[sector / per_sector]) + 4 * (sector % per_sector));
    };
    const auto sectors = follow(first, (size + kMiniSector - 1) / kMiniSector, mini_sectors, next);
    if (sectors.size() * kMiniSector < size) damaged("a stream ends before its size.");
    if (sectors.empty()) return {};
    const std::uint32_t last = *std::max_element(sectors.begin(), sectors.end());
    const auto container = chain(u32(&root[116]), last * kMiniSector / sector_size_ + 1);
    if (container.size() <= last * kMiniSector / sector_size_)
        damaged("the mini stream is cut short.");
    std::string bytes;
    for (const std::uint32_t sector : sectors) {
        const std::size_t at = sector * kMiniSector;
        bytes += read(offset_of(container[at / sector_size_]) + at % sector_size_,
                      std::min(kMiniSector, size - bytes.size()));
    }
    return bytes;
}

}  // namespace

bool is_compound_file(RandomAccessSource& file) {
    std::array<char, 8> start{};
    if (file.size() < start.size()) return false;
    file.read_at(0, start.data(), start.size());
    return std::equal(start.begin(), start.end(), kSignature);
}

bool holds_encrypted_package(RandomAccessSource& file) {
    // The stream's name as the compound file's directory holds it, UTF-16LE;
    // the package itself is encrypted, so the name stands nowhere else.
    static constexpr char kName[] = "E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0";
    constexpr std::size_t kNameSize = sizeof kName - 1;
    std::string block(kReadBlock + kNameSize, '\0');
    std::size_t kept = 0;  // the end of the block before, where the name may begin
    for (std::uint64_t at = 0; at < file.size();) {
        const auto size =
            static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, file.size() - at));
        file.read_at(at, block.data() + kept, size);
        const std::string_view bytes(block.data(), kept + size);
        if (bytes.find(std::string_view(kName, kNameSize)) != std::string_view::npos) return true;
        kept = std::min(bytes.size(), kNameSize - 1);
        std::memmove(block.data(), bytes.data() + bytes.size() - kept, kept);
        at += size;
    }
    return false;
}

std::optional<std::string> read_compound_stream(RandomAccessSource& file, std::string_view name) {
    return CompoundFile(file).read_stream(name);
}

Encryption encryption_of(RandomAccessSource& file) {
    if (!is_compound_file(file) || !holds_encrypted_package(file)) return Encryption::none;
    try {
        // The password Excel uses for a workbook it protects without asking for one.
        const auto info = read_compound_stream(file, "EncryptionInfo");
        if (info && password_opens(*info, u"VelvetSweatshop")) return Encryption::default_password;
    } catch (const CompoundFileError&) {
    }
    return Encryption::password;
}

}  // namespace convert
