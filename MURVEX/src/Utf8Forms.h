// Walking UTF-8 one form at a time, with one rule of what is well formed
// for the decoder, the encoding test and the Linux console text.
#pragma once

#include <cstddef>
#include <cstdint>

// What NextUtf8Form found instead of a character.
constexpr uint32_t kMalformedForm = 0xFFFFFFFF;  // not UTF-8: overlong, surrogate, stray, ...
constexpr uint32_t kCutOffForm = 0xFFFFFFFE;     // a proper start that count ends too early

// The form that starts at bytes[0] (count >= 1): returns the bytes it takes
// and sets *code to its character, or to kMalformedForm / kCutOffForm. A
// broken form takes its lead and the continuation bytes after it, at most
// as many as the lead announces, so CR, LF and NUL are never taken.
size_t NextUtf8Form(const unsigned char* bytes, size_t count, uint32_t* code);
