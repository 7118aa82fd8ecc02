// Directory test on Windows: the file search reports the entry's attributes
// (a path with a trailing backslash or wildcards finds no such entry).
#include <windows.h>

#include "DoubleByteText.h"

int IsDirectory(const char* path) {
  if (path == nullptr || path[0] == '\0') return 0;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}
