#include "byte_scan.h"

#include <initializer_list>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace convert {

namespace {

ChunkMasks scan_portable(const char* at, char separator) {
    ChunkMasks masks{0, 0};
    for (unsigned i = 0; i < 64; ++i) {
        masks.separators |= std::uint64_t{at[i] == separator} << i;
        masks.quotes |= std::uint64_t{at[i] == '"'} << i;
    }
    return masks;
}

#if defined(__x86_64__)

ChunkMasks scan_sse2(const char* at, char separator) {
    const __m128i sought = _mm_set1_epi8(separator);
    const __m128i quote = _mm_set1_epi8('"');
    ChunkMasks masks{0, 0};
    for (unsigned i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * i));
        const auto separators =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, sought)));
        const auto quotes =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, quote)));
        masks.separators |= std::uint64_t{separators} << (16 * i);
        masks.quotes |= std::uint64_t{quotes} << (16 * i);
    }
    return masks;
}

__attribute__((target("avx2"))) ChunkMasks scan_avx2(const char* at, char separator) {
    const __m256i sought = _mm256_set1_epi8(separator);
    const __m256i quote = _mm256_set1_epi8('"');
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32));
    const auto low_separators =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, sought)));
    const auto high_separators =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, sought)));
    const auto low_quotes =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, quote)));
    const auto high_quotes =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, quote)));
    return {low_separators | std::uint64_t{high_separators} << 32,
            low_quotes | std::uint64_t{high_quotes} << 32};
}

#endif

}  // namespace

ChunkScanner chunk_scanner(ScanPath path) {
    switch (path) {
        case ScanPath::portable:
            return scan_portable;
#if defined(__x86_64__)
        case ScanPath::sse2:
            return scan_sse2;
        case ScanPath::avx2:
            return __builtin_cpu_supports("avx2") ? scan_avx2 : nullptr;
#else
        case ScanPath::sse2:
        case ScanPath::avx2:
            return nullptr;
#endif
    }
    return nullptr;
}

ChunkScanner fastest_chunk_scanner() {
    for (const ScanPath path : {ScanPath::avx2, ScanPath::sse2}) {
        if (ChunkScanner scanner = chunk_scanner(path)) return scanner;
    }
    return scan_portable;
}

}  // namespace convert
