// Finding the bytes that divide a source into rows and fields, 64 bytes at a
// time. SSE2 is always there on x86-64; AVX2 is used where the processor has
// it, chosen at run time; every other processor takes the portable loop.
#pragma once

#include <cstdint>

namespace convert {

/// Bit i of a mask is set when byte i of the 64 scanned is one sought.
struct ChunkMasks {
    std::uint64_t separators;
    std::uint64_t specials;  // quotes, CRs and LFs: what a row's quick reading stops at
};

/// Scans the 64 bytes from `at`, all of which must be readable.
using ChunkScanner = ChunkMasks (*)(const char* at, char separator);

enum class ScanPath { portable, sse2, avx2 };

/// The scanner of `path`, or null where this processor or build has none.
ChunkScanner chunk_scanner(ScanPath path);

/// The fastest scanner this processor offers.
ChunkScanner fastest_chunk_scanner();

}  // namespace convert
