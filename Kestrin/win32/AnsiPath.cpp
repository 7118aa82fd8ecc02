#include "AnsiPath.h"

#include <windows.h>

#include <cwchar>
#include <string>

bool WideToAnsiPath(const wchar_t* wide, char* out, size_t size) {
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  if (wide == nullptr) return false;
  BOOL usedDefault = FALSE;
  int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out, static_cast<int>(size), nullptr,
                                    &usedDefault);
  if (written == 0 || usedDefault) {
    out[0] = '\0';
    return false;
  }
  // Belt and braces: the name must come back unchanged.
  int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out, -1, nullptr, 0);
  std::wstring back(length > 0 ? length : 1, L'\0');
  if (length <= 0 || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out, -1, &back[0], length) != length ||
      std::wcscmp(back.c_str(), wide) != 0) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool FitsAnsiPath(const wchar_t* wide, size_t size) {
  if (wide == nullptr) return true;
  int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  return needed > 0 && static_cast<size_t>(needed) <= size;
}
