#include <windows.h>

#include <clocale>
#include <cstdlib>

#include "DoubleByteText.h"
#include "MonitorPlatform.h"

int UnitToAnsi(uint16_t unit, char out[2]) {
  // The runtime's conversion follows the process locale, set once here.
  static bool localeSet = false;
  if (!localeSet) {
    setlocale(LC_ALL, "Japanese");
    localeSet = true;
  }
  char bytes[MB_LEN_MAX];
  int made = wctomb(bytes, static_cast<wchar_t>(unit));
  if (made != 1 && made != 2) return 0;
  out[0] = bytes[0];
  if (made == 2) out[1] = bytes[1];
  return made;
}

long AnsiToUnits(const char* bytes, size_t count, uint16_t* units) {
  if (count == 0) return 0;
  int made = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(count),
                                 reinterpret_cast<wchar_t*>(units), static_cast<int>(count));
  return made > 0 ? made : -1;
}

// Paths are UTF-8 inside the monitor.
const char* WatchedFolderOf(const char* path) { return FolderOfUtf8Path(path); }

const char* TitleOf(const char* path) { return FileNameOfUtf8Path(path); }
