#include <windows.h>

#include "MonitorPlatform.h"
#include "WideText.h"

namespace {

// Paths are UTF-8 inside the monitor and wide at each call.

// Sector size assumed for unbuffered reads when the volume cannot say.
constexpr DWORD kFallbackSector = 4096;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// Only files on a disk are read: a device such as CON would wait for the
// keyboard, NUL has no status, a pipe never ends.
FileHandle DiskFileOnly(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) return kNoFile;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return kNoFile;
  }
  return reinterpret_cast<FileHandle>(file);
}

class Win32Files : public FileSystem {
 public:
  int Exists(const char* path) override {
    return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES ? 0 : -1;
  }

  int Status(const char* path, FileStatus* status) override {
    // From an open handle: the directory entry may lag behind a writer.
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    BY_HANDLE_FILE_INFORMATION info;
    DWORD type = GetFileType(file);
    BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (type != FILE_TYPE_DISK) {
      // A device or pipe under the name has no status worth comparing.
      *status = FileStatus();
      status->kind = FileStatus::kOther;
      return 0;
    }
    if (!ok) return -1;
    status->size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) |
                                        info.nFileSizeLow);
    uint64_t ticks = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                     info.ftLastWriteTime.dwLowDateTime;
    status->modifiedNs = static_cast<int64_t>(ticks) * 100;
    status->fileId = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    status->kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileStatus::kFolder : FileStatus::kRegular;
    return 0;
  }

  FileHandle OpenShared(const char* path) override {
    return DiskFileOnly(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  }

  FileHandle OpenDirect(const char* path, size_t* alignment) override {
    FileHandle file = DiskFileOnly(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file != kNoFile && alignment != nullptr) *alignment = kFallbackSector;
    return file;
  }

  int64_t Read(FileHandle file, void* buffer, size_t size) override {
    DWORD got = 0;
    DWORD request = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
    if (!ReadFile(ToHandle(file), buffer, request, &got, nullptr)) return -1;
    return static_cast<int64_t>(got);
  }

  int64_t ReadAt(FileHandle file, int64_t offset, void* buffer, size_t size) override {
    // On a handle opened for synchronous reading the offset of an OVERLAPPED
    // structure says where the read starts; the call still blocks.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD got = 0;
    DWORD request = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
    if (!ReadFile(ToHandle(file), buffer, request, &got, &at)) {
      // Reading at or past the end is the end, not a failure.
      return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return static_cast<int64_t>(got);
  }

  void Close(FileHandle file) override {
    if (file != kNoFile) CloseHandle(ToHandle(file));
  }

  void* AllocateAligned(size_t size) override {
    void* block = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block != nullptr) VirtualLock(block, size);  // best effort
    return block;
  }

  void FreeAligned(void* block, size_t) override {
    if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
  }
};

}  // namespace

FileSystem& NativeFileSystem() {
  static Win32Files files;
  return files;
}
