#include <windows.h>

#include "WatchList.h"

int ReplaceFileAtomically(const char* temporary, const char* target, const char* backup) {
  // The data must be on disk before the name points at it: write-through
  // covers the move, not the file's contents.
  HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  BOOL flushed = FlushFileBuffers(file);
  CloseHandle(file);
  if (!flushed) return -1;
  if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) {
    return MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
  }
  if (ReplaceFileA(target, temporary, backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) return 0;
  // The old list was moved to the backup but the new one not into place:
  // put the old one back.
  if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExA(backup, target, MOVEFILE_WRITE_THROUGH);
  return -1;
}
