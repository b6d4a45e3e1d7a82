// FindStop: where the loader's scan of a run of text stops, the first of up
// to three stop characters. Most of a file is runs of characters that change
// nothing, so the search looks at several characters at a time: eight with
// SSE2, four in a 64-bit word elsewhere. The portable search is compiled on
// every machine, so that its tests run where SSE2 serves the loader too.

#ifndef KNITFOLD_QDSFILE_STOP_SEARCH_H_
#define KNITFOLD_QDSFILE_STOP_SEARCH_H_

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <bit>
#include <cstdint>
#include <cstring>

namespace qds {

// The character by character end of either search: from `at`, the first of
// chars[at, end) that is `a`, `b` or `c`, or `end`.
inline uint32_t FindStopEach(const char16_t* chars, uint32_t at, uint32_t end, char16_t a,
                             char16_t b, char16_t c) {
  while (at < end && chars[at] != a && chars[at] != b && chars[at] != c) ++at;
  return at;
}

// Skips four characters at a time while none of them is a stop character.
inline uint32_t FindStopPortable(const char16_t* chars, uint32_t at, uint32_t end, char16_t a,
                                 char16_t b, char16_t c) {
  constexpr uint64_t kLows = 0x0001000100010001u;
  constexpr uint64_t kHighs = 0x8000800080008000u;
  // Nonzero exactly when one of the four 16-bit lanes of `v` is zero.
  auto hasZeroLane = [](uint64_t v) { return (v - kLows) & ~v & kHighs; };
  const uint64_t wideA = kLows * a;
  const uint64_t wideB = kLows * b;
  const uint64_t wideC = kLows * c;
  while (end - at >= 4) {
    uint64_t four;
    std::memcpy(&four, chars + at, sizeof four);
    if ((hasZeroLane(four ^ wideA) | hasZeroLane(four ^ wideB) | hasZeroLane(four ^ wideC)) != 0) {
      break;
    }
    at += 4;
  }
  return FindStopEach(chars, at, end, a, b, c);
}

// The position of the first of chars[at, end) that is one of the stop
// characters `a`, `b` and `c` (repeat one to stop at fewer), or `end`.
inline uint32_t FindStop(const char16_t* chars, uint32_t at, uint32_t end, char16_t a, char16_t b,
                         char16_t c) {
#if defined(__SSE2__)
  const __m128i wideA = _mm_set1_epi16(static_cast<short>(a));
  const __m128i wideB = _mm_set1_epi16(static_cast<short>(b));
  const __m128i wideC = _mm_set1_epi16(static_cast<short>(c));
  while (end - at >= 8) {
    __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chars + at));
    __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(eight, wideA), _mm_cmpeq_epi16(eight, wideB)),
                     _mm_cmpeq_epi16(eight, wideC));
    int mask = _mm_movemask_epi8(hits);
    if (mask != 0)
      return at + static_cast<uint32_t>(std::countr_zero(static_cast<unsigned>(mask))) / 2;
    at += 8;
  }
  return FindStopEach(chars, at, end, a, b, c);
#else
  return FindStopPortable(chars, at, end, a, b, c);
#endif
}

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_STOP_SEARCH_H_
