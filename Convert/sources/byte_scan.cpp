#include "sources/byte_scan.h"

#include <initializer_list>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace convert {

namespace {

ChunkMasks scan_portable(const char* at, char separator) {
    ChunkMasks masks{0, 0};
    for (unsigned i = 0; i < 64; ++i) {
        const char c = at[i];
        masks.separators |= std::uint64_t{c == separator} << i;
        masks.specials |= std::uint64_t{c == '"' || c == '\r' || c == '\n'} << i;
    }
    return masks;
}

#if defined(__x86_64__)

ChunkMasks scan_sse2(const char* at, char separator) {
    const __m128i sought = _mm_set1_epi8(separator);
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    ChunkMasks masks{0, 0};
    for (unsigned i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * i));
        const __m128i special =
            _mm_or_si128(_mm_cmpeq_epi8(bytes, quote),
                         _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
        const auto separators =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, sought)));
        const auto specials = static_cast<std::uint32_t>(_mm_movemask_epi8(special));
        masks.separators |= std::uint64_t{separators} << (16 * i);
        masks.specials |= std::uint64_t{specials} << (16 * i);
    }
    return masks;
}

/// The separators' and the specials' bits of 32 bytes.
__attribute__((target("avx2"))) inline std::pair<std::uint32_t, std::uint32_t> avx2_masks(
    const char* at, char separator) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i special =
        _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('"')),
                        _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\r')),
                                        _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n'))));
    return {static_cast<std::uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(separator)))),
            static_cast<std::uint32_t>(_mm256_movemask_epi8(special))};
}

__attribute__((target("avx2"))) ChunkMasks scan_avx2(const char* at, char separator) {
    const auto [low_separators, low_specials] = avx2_masks(at, separator);
    const auto [high_separators, high_specials] = avx2_masks(at + 32, separator);
    return {low_separators | std::uint64_t{high_separators} << 32,
            low_specials | std::uint64_t{high_specials} << 32};
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
