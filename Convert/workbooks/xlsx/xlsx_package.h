// An .xlsx's package: its zip, its parts found by name in any case, and
// their relationships.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "containers/zip_archive.h"
#include "sources/byte_source.h"

namespace convert::xlsx {

struct Relationship {
    std::string id, type, target;  // the target as a part's name
};

/// A part's relationships in their order, and by id (the first of each).
struct Relationships {
    std::vector<Relationship> list;
    std::unordered_map<std::string_view, std::size_t> by_id;  // into list
};

class Package {
public:
    /// Reads the zip's directory; `part` names the part being read from
    /// then on, and must outlive the package.
    Package(RandomAccessSource& file, std::string& part) : archive_(file), part_(part) {}

    const ZipEntry* find(const std::string& path) const;
    /// The bytes of part `path`, which is then the part being read; null for
    /// a missing one that is not `needed`.
    std::unique_ptr<ByteSource> open(const std::string& path, bool needed = true);
    /// Those of `part` ("" for the package's own), each bounded.
    Relationships relationships(const std::string& part);

private:
    ZipArchive archive_;
    std::string& part_;
};

}  // namespace convert::xlsx
