// Walking UTF-8 one form at a time, with one rule of what is well formed
// for the decoder, the encoding test and the Linux console text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// What NextUtf8Form found instead of a character.
constexpr uint32_t kMalformedForm = 0xFFFFFFFF;  // not UTF-8: overlong, surrogate, stray, ...
constexpr uint32_t kCutOffForm = 0xFFFFFFFE;     // a proper start that count ends too early

// The form that starts at bytes[0] (count >= 1): returns the bytes it takes
// and sets *code to its character, or to kMalformedForm / kCutOffForm. A
// broken form takes its lead and the continuation bytes after it, at most
// as many as the lead announces, so CR, LF and NUL are never taken.
size_t NextUtf8Form(const unsigned char* bytes, size_t count, uint32_t* code);

// Index of the first byte of 0x80 or more, or length: most log lines are
// ASCII and need nothing done, so they are checked 16 bytes at a time.
inline size_t AsciiPrefix(const char* text, size_t length) {
  size_t i = 0;
  for (; i + 16 <= length; i += 16) {
    uint64_t first, second;
    std::memcpy(&first, text + i, 8);
    std::memcpy(&second, text + i + 8, 8);
    if ((first | second) & 0x8080808080808080ull) break;
  }
  while (i < length && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}
