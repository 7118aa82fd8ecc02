#include <windows.h>

#include <string>

#include "WatchList.h"
#include "WideText.h"

namespace {

// The list's folder and the one above, held open by HoldListFolder without
// sharing deletion, so neither can be swapped for a junction during a load
// or save; closed by ReleaseListFolder. UI thread only.
HANDLE g_heldFolders[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};

// The part of path (UTF-8, where every 0x5C is a backslash) before its last
// backslash; "" when it has none.
std::string FolderPart(const std::string& path) {
  size_t backslash = path.rfind('\\');
  return backslash == std::string::npos ? std::string() : path.substr(0, backslash);
}

// Opens the link or junction itself, never what it points to. Paths are
// UTF-8, reached by their wide names.
HANDLE OpenNoFollow(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return CreateFileW(WideFromUtf8(path).c_str(), access, share, nullptr, disposition,
                     flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// 0 when folder is a real folder, held in *held; 1 when it is not there;
// kNotPlainFile otherwise.
int HoldFolder(const std::string& folder, HANDLE* held) {
  // A drive's root ("C:") is always a real folder.
  if (folder.size() <= 2) return 0;
  HANDLE handle = OpenNoFollow(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : kNotPlainFile;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(handle);
    return kNotPlainFile;
  }
  *held = handle;
  return 0;
}

}  // namespace

int HoldListFolder(const char* listPath) {
  ReleaseListFolder();
  std::string folder = FolderPart(listPath);
  int held = HoldFolder(folder, &g_heldFolders[0]);
  if (held == 0 && HoldFolder(FolderPart(folder), &g_heldFolders[1]) != 0) held = kNotPlainFile;
  if (held != 0) ReleaseListFolder();
  return held;
}

void ReleaseListFolder() {
  for (HANDLE& handle : g_heldFolders) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
}

int ReadPlainFile(const char* path, std::string& bytes) {
  // Backup semantics opens a folder too, so it is told apart from a file
  // that cannot be read.
  HANDLE file = OpenNoFollow(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : -1;
  }
  BY_HANDLE_FILE_INFORMATION information;
  int result = 0;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information)) {
    result = GetFileType(file) != FILE_TYPE_DISK ? kNotPlainFile : -1;
  } else if ((information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
             information.nNumberOfLinks > 1) {
    // A second name may be anywhere on the volume, another user's file.
    result = kNotPlainFile;
  }
  char buffer[4096];
  DWORD got = 0;
  while (result == 0) {
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) result = -1;
    else if (got == 0) break;
    else bytes.append(buffer, got);
  }
  CloseHandle(file);
  return result;
}

int WriteNewFile(const char* path, const std::string& bytes) {
  HANDLE file = OpenNoFollow(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? 1 : -1;
  }
  bool ok = true;
  for (size_t written = 0; ok && written < bytes.size();) {
    DWORD done = 0;
    DWORD chunk = bytes.size() - written > 1u << 20 ? 1u << 20 : static_cast<DWORD>(bytes.size() - written);
    ok = WriteFile(file, bytes.data() + written, chunk, &done, nullptr) && done > 0;
    written += done;
  }
  // The data must be on disk before the list's name points at it:
  // write-through covers the move, not the file's contents.
  ok = ok && FlushFileBuffers(file);
  CloseHandle(file);
  if (ok) return 0;
  DeleteFileW(WideFromUtf8(path).c_str());
  return -1;
}

unsigned long CurrentProcessNumber() { return GetCurrentProcessId(); }

int ReplaceFileAtomically(const char* temporary, const char* target, const char* backup) {
  std::wstring wideTemporary = WideFromUtf8(temporary), wideTarget = WideFromUtf8(target),
               wideBackup = WideFromUtf8(backup);
  // Another save in the folder may hold the list for a moment: a few tries
  // a short while apart, so the last save wins whole instead of failing.
  for (int attempt = 0;; ++attempt) {
    if (GetFileAttributesW(wideTarget.c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (MoveFileExW(wideTemporary.c_str(), wideTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 0;
      }
    } else if (ReplaceFileW(wideTarget.c_str(), wideTemporary.c_str(), wideBackup.c_str(),
                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      return 0;
    }
    DWORD error = GetLastError();
    // The old list was moved to the backup but the new one not into place:
    // put the old one back.
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExW(wideBackup.c_str(), wideTarget.c_str(), MOVEFILE_WRITE_THROUGH);
    bool busy = error == ERROR_SHARING_VIOLATION || error == ERROR_FILE_NOT_FOUND ||
                error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
    if (!busy || attempt == 20) return -1;
    Sleep(50);
  }
}

void RemoveFile(const char* path) { DeleteFileW(WideFromUtf8(path).c_str()); }
