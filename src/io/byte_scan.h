#pragma once

// Searches through bytes, sixteen at a time where the machine allows.

#include <array>
#include <bit>
#include <cstddef>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace cachesift {

// How many of the bytes [first, last) are `byte`.
inline std::size_t countByte(const char* first, const char* last, char byte) {
  std::size_t count = 0;
#ifdef __SSE2__
  // Sixteen bytes at a time (every x86-64 processor has SSE2): each byte lane
  // counts the matches of up to 255 blocks, then the lanes are summed.
  const __m128i wanted = _mm_set1_epi8(byte);
  for (auto blocks = static_cast<std::size_t>(last - first) / 16; blocks > 0;) {
    const std::size_t round = blocks < 255 ? blocks : 255;
    blocks -= round;
    __m128i lanes = _mm_setzero_si128();
    for (const char* const end = first + 16 * round; first != end; first += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, wanted));  // a match is -1
    }
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
  }
#endif
  for (; first != last; ++first) {
    count += *first == byte ? 1 : 0;
  }
  return count;
}

// The first of the bytes [first, last) that is `byte`, or `last`.
inline const char* findByte(const char* first, const char* last, char byte) {
#ifdef __SSE2__
  // Sixteen bytes at a time: a short cell is found without a branch per byte.
  const __m128i wanted = _mm_set1_epi8(byte);
  for (; last - first >= 16; first += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
    const auto matches = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
    if (matches != 0) {
      return first + std::countr_zero(matches);
    }
  }
#endif
  while (first != last && *first != byte) {
    ++first;
  }
  return first;
}

// The first of the bytes [first, last) that is one of `wanted`, or `last`.
template <std::size_t N>
const char* findAnyOf(const char* first, const char* last, const std::array<char, N>& wanted) {
#ifdef __SSE2__
  __m128i masks[N];
  for (std::size_t k = 0; k < N; ++k) {
    masks[k] = _mm_set1_epi8(wanted[k]);
  }
  for (; last - first >= 16; first += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
    __m128i hits = _mm_cmpeq_epi8(bytes, masks[0]);
    for (std::size_t k = 1; k < N; ++k) {
      hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, masks[k]));
    }
    const auto matches = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (matches != 0) {
      return first + std::countr_zero(matches);
    }
  }
#endif
  for (; first != last; ++first) {
    for (const char byte : wanted) {
      if (*first == byte) {
        return first;
      }
    }
  }
  return last;
}

}  // namespace cachesift
