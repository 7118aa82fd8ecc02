#include <windows.h>

#include "WatchList.h"

int ReplaceFileAtomically(const char* temporary, const char* target) {
  // The data must be on disk before the name points at it: write-through
  // covers the move, not the file's contents.
  HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  BOOL flushed = FlushFileBuffers(file);
  CloseHandle(file);
  if (!flushed) return -1;
  return MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}
