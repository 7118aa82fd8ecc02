#include "WideText.h"

#include <windows.h>

std::wstring WideFromUtf8(const char* utf8) {
  if (utf8 == nullptr || utf8[0] == '\0') return std::wstring();
  int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (units <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], units);
  wide.resize(static_cast<size_t>(units - 1));
  return wide;
}

std::string Utf8FromWide(const wchar_t* wide) {
  if (wide == nullptr || wide[0] == L'\0') return std::string();
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return std::string();
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], bytes, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(bytes - 1));
  return utf8;
}
