// Walking UTF-8 one form at a time, with one rule of what is well formed
// for the decoder, the encoding test and the Linux console text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// What NextUtf8Form found instead of a character.
constexpr uint32_t kMalformedForm = 0xFFFFFFFF;  // not UTF-8: overlong, surrogate, stray, ...
constexpr uint32_t kCutOffForm = 0xFFFFFFFE;     // a proper start that count ends too early

// The form that starts at bytes[0] (count >= 1): returns the bytes it takes
// and sets *code to its character, or to kMalformedForm / kCutOffForm. A
// broken form takes its lead and the continuation bytes after it, at most
// as many as the lead announces, so CR, LF and NUL are never taken.
size_t NextUtf8Form(const unsigned char* bytes, size_t count, uint32_t* code);

// Index of the first byte of 0x80 or more, or length: most log lines are
// ASCII and need nothing done, so they are checked 16 bytes at a time, the
// last bytes of a line by one more block that overlaps the one before.
inline size_t AsciiPrefix(const char* text, size_t length) {
  size_t i = 0;
#ifdef __SSE2__
  if (length >= 16) {
    for (; i + 16 <= length; i += 16) {
      int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)));
      if (high != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(high)));
    }
    if (i == length) return length;
    // Bytes before i are ASCII, so the first high bit found lies at i or later.
    int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + length - 16)));
    return high == 0 ? length : length - 16 + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(high)));
  }
#else
  for (; i + 16 <= length; i += 16) {
    uint64_t first, second;
    std::memcpy(&first, text + i, 8);
    std::memcpy(&second, text + i + 8, 8);
    if ((first | second) & 0x8080808080808080ull) break;
  }
#endif
  while (i < length && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}
