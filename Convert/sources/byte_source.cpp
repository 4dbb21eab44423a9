#include "sources/byte_source.h"

#include <algorithm>
#include <cstring>

namespace convert {

std::size_t MemorySource::read(char* into, std::size_t size) {
    const std::size_t n = std::min({size, block_, rest_.size()});
    if (n != 0) std::memcpy(into, rest_.data(), n);
    rest_.remove_prefix(n);
    return n;
}

}  // namespace convert
