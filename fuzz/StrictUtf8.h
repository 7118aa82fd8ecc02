// The fuzzers' own reading of strict UTF-8, written plainly and apart from
// the monitor's decoder so that each can check the other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The code points of text; false for anything malformed, overlong, a
// surrogate, past 10FFFF or cut off.
inline bool StrictUtf8Codes(const std::string& text, std::vector<uint32_t>* codes) {
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    size_t need = b < 0x80 ? 1 : b >= 0xC0 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF7 ? 4 : 0;
    if (need == 0 || i + need > text.size()) return false;
    uint32_t code = need == 1 ? b : b & (0x7Fu >> need);
    for (size_t k = 1; k < need; ++k) {
      unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      code = code << 6 | (c & 0x3Fu);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[need] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    codes->push_back(code);
    i += need;
  }
  return true;
}
