#include "AnsiConversion.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MonitorPlatform.h"
#include "Utf8Forms.h"

namespace {

char g_utf8Result[kConvertedLineSize];
char g_utf16Result[kConvertedLineSize];

// Stands for any form that cannot be decoded; the code page has no form for
// it, so it prints as one space.
constexpr uint16_t kUndecodable = 0xFFFD;

// Units to ANSI bytes, at most limit bytes; a character that would not fit
// whole ends the text there. Returns the bytes written (no terminator).
size_t UnitsToAnsi(const uint16_t* units, size_t count, char* out, size_t limit) {
  size_t length = 0;
  for (size_t i = 0; i < count; ++i) {
    char bytes[2];
    int made = UnitToAnsi(units[i], bytes);
    if (made != 1 && made != 2) {
      bytes[0] = ' ';
      made = 1;
    }
    if (length + static_cast<size_t>(made) > limit) break;
    memcpy(out + length, bytes, static_cast<size_t>(made));
    length += static_cast<size_t>(made);
  }
  return length;
}

size_t UnitLength(const uint16_t* text) {
  size_t count = 0;
  while (text[count] != 0) ++count;
  return count;
}

}  // namespace

size_t DecodeUtf8(uint16_t* destination, const unsigned char* bytes, size_t count, int counting) {
  size_t units = 0;
  size_t at = 0;
  auto put = [&](uint16_t unit) {
    if (!counting) destination[units] = unit;
    ++units;
  };
  while (at < count) {
    uint32_t code = 0;
    at += NextUtf8Form(bytes + at, count - at, &code);
    if (code == kMalformedForm || code == kCutOffForm) {
      put(kUndecodable);
    } else if (code >= 0x10000) {
      code -= 0x10000;
      put(static_cast<uint16_t>(0xD800 | (code >> 10)));
      put(static_cast<uint16_t>(0xDC00 | (code & 0x3FF)));
    } else {
      put(static_cast<uint16_t>(code));
    }
  }
  if (!counting) destination[units] = 0;
  return units;
}

uint16_t* Utf8ToUtf16Alloc(const char* text, size_t* count) {
  if (text == nullptr) return nullptr;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t length = strlen(text);
  if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    bytes += 3;
    length -= 3;
  }
  size_t units = DecodeUtf8(nullptr, bytes, length, 1);
  uint16_t* result = static_cast<uint16_t*>(malloc((units + 1) * sizeof(uint16_t)));
  if (result == nullptr) return nullptr;
  DecodeUtf8(result, bytes, length, 0);
  if (count != nullptr) *count = units;
  return result;
}

char* Utf16ToAnsiAlloc(const uint16_t* text, size_t* count) {
  if (text == nullptr || count == nullptr) return nullptr;
  size_t units = UnitLength(text);
  if (units > 0 && (text[0] == 0xFEFF || text[0] == 0xFFFE)) {
    ++text;
    --units;
  }
  char* result = static_cast<char*>(malloc((units + 1) * 2));
  if (result == nullptr) return nullptr;
  size_t length = UnitsToAnsi(text, units, result, units * 2);
  result[length] = '\0';
  *count = length;
  return result;
}

const char* Utf8LineToAnsi(const char* line) {
  // Only the terminator matters; clearing all 65,535 bytes per line would
  // dominate a pass over a UTF-8 file.
  g_utf8Result[0] = '\0';
  size_t units = 0;
  uint16_t* wide = Utf8ToUtf16Alloc(line, &units);
  if (wide == nullptr) return g_utf8Result;
  // A mark left after the UTF-8 one is dropped as Utf16ToAnsiAlloc would.
  size_t skip = units > 0 && (wide[0] == 0xFEFF || wide[0] == 0xFFFE) ? 1 : 0;
  // Straight into the result buffer, so an overlong result is cut at a
  // character boundary instead of in the middle of a double-byte character.
  size_t length = UnitsToAnsi(wide + skip, units - skip, g_utf8Result, kConvertedLineSize - 1);
  g_utf8Result[length] = '\0';
  free(wide);
  return g_utf8Result;
}

const char* Utf16LineToAnsi(const uint16_t* line) {
  g_utf16Result[0] = '\0';
  if (line == nullptr) return g_utf16Result;
  size_t units = UnitLength(line);
  if (units > 0 && line[0] == 0xFEFF) {
    ++line;
    --units;
  }
  size_t length = UnitsToAnsi(line, units, g_utf16Result, kConvertedLineSize - 1);
  g_utf16Result[length] = '\0';
  return g_utf16Result;
}
