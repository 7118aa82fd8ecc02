#include <iconv.h>

#include <cstring>
#include <mutex>

#include "MonitorPlatform.h"

namespace {

// Every unit's CP932 form, built once; 0 in both bytes for no form.
uint8_t g_table[65536][2];

void BuildTable() {
  iconv_t convert = iconv_open("CP932", "UTF-16LE");
  if (convert == reinterpret_cast<iconv_t>(-1)) return;
  for (uint32_t unit = 1; unit < 65536; ++unit) {
    char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    char out[8];
    char* inAt = in;
    char* outAt = out;
    size_t inLeft = 2, outLeft = sizeof out;
    iconv(convert, nullptr, nullptr, nullptr, nullptr);
    size_t done = iconv(convert, &inAt, &inLeft, &outAt, &outLeft);
    size_t made = sizeof out - outLeft;
    if (done != static_cast<size_t>(-1) && inLeft == 0 && (made == 1 || made == 2)) {
      g_table[unit][0] = static_cast<uint8_t>(out[0]);
      g_table[unit][1] = made == 2 ? static_cast<uint8_t>(out[1]) : 0;
    }
  }
  iconv_close(convert);
}

}  // namespace

int UnitToAnsi(uint16_t unit, char out[2]) {
  // ASCII is itself in code page 932, with or without a converter.
  if (unit < 0x80) {
    out[0] = static_cast<char>(unit);
    return 1;
  }
  static std::once_flag built;
  std::call_once(built, BuildTable);
  const uint8_t* form = g_table[unit];
  if (form[0] == 0) return 0;
  out[0] = static_cast<char>(form[0]);
  if (form[1] == 0) return 1;
  out[1] = static_cast<char>(form[1]);
  return 2;
}

long AnsiToUnits(const char* bytes, size_t count, uint16_t* units) {
  if (count == 0) return 0;
  iconv_t convert = iconv_open("UTF-16LE", "CP932");
  if (convert == reinterpret_cast<iconv_t>(-1)) return -1;
  char* in = const_cast<char*>(bytes);
  char* out = reinterpret_cast<char*>(units);
  size_t inLeft = count, outLeft = count * 2;
  size_t done = iconv(convert, &in, &inLeft, &out, &outLeft);
  iconv_close(convert);
  if (done == static_cast<size_t>(-1) || inLeft != 0) return -1;
  return static_cast<long>((count * 2 - outLeft) / 2);
}

const char* WatchedFolderOf(const char* path) {
  static char folder[4096];
  const char* slash = strrchr(path, '/');
  if (slash == nullptr) return strcpy(folder, "./");
  size_t length = static_cast<size_t>(slash - path) + 1;
  if (length >= sizeof folder) length = sizeof folder - 1;
  memcpy(folder, path, length);
  folder[length] = '\0';
  return folder;
}

const char* TitleOf(const char* path) {
  static char title[4096];
  const char* slash = strrchr(path, '/');
  const char* name = slash == nullptr ? path : slash + 1;
  strncpy(title, name, sizeof title - 1);
  title[sizeof title - 1] = '\0';
  return title;
}
