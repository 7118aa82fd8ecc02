// The Windows console shows code page 932: code page 932 lines as read,
// UTF-8 and UTF-16 lines through the converters.
#include "ConsoleText.h"

#include <cstdlib>
#include <cstring>

#include "AnsiConversion.h"

const char* AnsiLineToConsole(const char* line, size_t length, size_t* converted) {
  *converted = length;
  return line;
}

const char* Utf8LineToConsole(const char* line, size_t, size_t* converted) {
  const char* text = Utf8LineToAnsi(line);
  *converted = strlen(text);
  return text;
}

const char* Utf16LineToConsole(const uint16_t* line, size_t, size_t* converted) {
  const char* text = Utf16LineToAnsi(line);
  *converted = strlen(text);
  return text;
}

std::string MessageToConsole(const std::string& utf8) {
  size_t units = 0;
  uint16_t* wide = Utf8ToUtf16Alloc(utf8.c_str(), &units);
  if (wide == nullptr) return std::string();
  size_t bytes = 0;
  char* ansi = Utf16ToAnsiAlloc(wide, &bytes);
  free(wide);
  if (ansi == nullptr) return std::string();
  std::string result(ansi, bytes);
  free(ansi);
  return result;
}
