// The UTF-8 and UTF-16 conversions over arbitrary lines, up to and past the
// longest line the reader delivers: never past a buffer, the line converters
// agree with the allocating chain (cut at a character boundary when long),
// well-formed UTF-8 decodes exactly, no form decodes to NUL, and line ends
// survive.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AnsiConversion.h"
#include "StrictUtf8.h"

namespace {

// Strict UTF-8 to UTF-16; false for anything malformed, overlong or a
// surrogate, so only clean text is compared exactly.
bool StrictUtf16(const std::string& text, std::vector<uint16_t>* units) {
  std::vector<uint32_t> codes;
  if (!StrictUtf8Codes(text, &codes)) return false;
  for (uint32_t code : codes) {
    if (code >= 0x10000) {
      units->push_back(static_cast<uint16_t>(0xD800 | (code - 0x10000) >> 10));
      units->push_back(static_cast<uint16_t>(0xDC00 | ((code - 0x10000) & 0x3FF)));
    } else {
      units->push_back(static_cast<uint16_t>(code));
    }
  }
  return true;
}

size_t Count(const std::string& text, char c) {
  size_t n = 0;
  for (char x : text) n += x == c;
  return n;
}

void CheckUtf8(const std::string& line) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(line.data());
  size_t counted = DecodeUtf8(nullptr, bytes, line.size(), 1);
  std::vector<uint16_t> decoded(counted + 1, 0xAAAA);
  if (DecodeUtf8(decoded.data(), bytes, line.size(), 0) != counted || decoded[counted] != 0) abort();
  if (counted > line.size()) abort();
  // CR, LF and NUL are never swallowed by a neighbouring form, and no form
  // (an overlong one above all) decodes to a NUL that would end the line.
  for (uint16_t c : {0x0A, 0x0D, 0x00}) {
    size_t units = 0;
    for (size_t i = 0; i < counted; ++i) units += decoded[i] == c;
    if (units < Count(line, static_cast<char>(c))) abort();
    if (c == 0x00 && units != Count(line, '\0')) abort();
  }
  std::vector<uint16_t> strict;
  if (StrictUtf16(line, &strict) && std::vector<uint16_t>(decoded.begin(), decoded.end() - 1) != strict) abort();

  // The line converter: the allocating chain, cut whole at 65,534 bytes.
  std::string text = line.substr(0, line.find('\0'));
  const char* converted = Utf8LineToAnsi(text.c_str());
  size_t length = strlen(converted);
  if (length > kConvertedLineSize - 1) abort();
  size_t units = 0;
  uint16_t* wide = Utf8ToUtf16Alloc(text.c_str(), &units);
  if (wide == nullptr) return;
  for (size_t i = 0; i < units; ++i) {
    if (wide[i] == 0) abort();
  }
  size_t chainLength = 0;
  char* chain = Utf16ToAnsiAlloc(wide, &chainLength);
  free(wide);
  if (chain == nullptr) abort();
  if (chainLength != strlen(chain) || chainLength > 2 * units) abort();
  if (strncmp(chain, converted, length) != 0) abort();
  if (chainLength <= kConvertedLineSize - 1 && length != chainLength) abort();
  free(chain);
  // A line end that fits comes out unchanged.
  if (length == chainLength && text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0 &&
      (length < 2 || strcmp(converted + length - 2, "\r\n") != 0)) {
    abort();
  }
}

void CheckUtf16(const std::vector<uint16_t>& units) {
  std::vector<uint16_t> line(units);
  line.push_back(0);
  const char* converted = Utf16LineToAnsi(line.data());
  size_t length = strlen(converted);
  if (length > kConvertedLineSize - 1) abort();
  size_t chainLength = 0;
  char* chain = Utf16ToAnsiAlloc(line.data(), &chainLength);
  if (chain == nullptr) abort();
  size_t before = 0;
  while (line[before] != 0) ++before;
  if (chainLength != strlen(chain) || chainLength > 2 * before) abort();
  // Both drop a leading FEFF; only the allocating one also drops FFFE.
  if (line[0] != 0xFFFE) {
    if (strncmp(chain, converted, length) != 0) abort();
    if (chainLength <= kConvertedLineSize - 1 && length != chainLength) abort();
  }
  free(chain);
  if (Utf16ToAnsiAlloc(nullptr, &chainLength) != nullptr) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  // Sometimes repeated up to the reader's longest line, to reach the cut.
  bool longLine = input.ConsumeIntegralInRange<int>(0, 15) == 0;
  std::string body = input.ConsumeRemainingBytesAsString();
  if (longLine && !body.empty()) {
    std::string repeated;
    while (repeated.size() + body.size() <= 65534) repeated += body;
    repeated += body.substr(0, 65534 - repeated.size());
    body = repeated;
  }
  CheckUtf8(body);
  std::vector<uint16_t> units;
  for (size_t i = 0; i + 1 < body.size(); i += 2) {
    uint16_t unit = static_cast<uint16_t>(static_cast<unsigned char>(body[i]) | static_cast<unsigned char>(body[i + 1]) << 8);
    if (unit == 0) break;
    units.push_back(unit);
  }
  CheckUtf16(units);
  return 0;
}
