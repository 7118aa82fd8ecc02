#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "PosixPlatform.h"

namespace {

// Direct reads need buffers and sizes aligned to the logical block; a page
// covers every common block size.
constexpr size_t kDirectAlignment = 4096;

// Opens path for reading if it is a regular file. Folders, devices and
// pipes are refused as Windows refuses them: reading them would fail, never
// end, or wait for a writer (a pipe's open alone would).
int OpenRegular(const char* path, int flags) {
  int fd = open(path, flags | O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

int64_t ModifiedNs(const struct stat& info) {
  return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

class PosixFiles : public FileSystem {
 public:
  int Exists(const char* path) override { return access(path, F_OK) == 0 ? 0 : -1; }

  int Status(const char* path, FileStatus* status) override {
    struct stat info;
    if (stat(path, &info) != 0) return -1;
    // A regular file through an open descriptor: the writer's view. Anything
    // else is never opened: opening a FIFO lets a blocked writer through,
    // whose write wakes the next look, which opens it again.
    bool readable = true;
    if (S_ISREG(info.st_mode)) {
      int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
      if (fd >= 0) {
        struct stat held;
        if (fstat(fd, &held) == 0) info = held;
        close(fd);
      }
      readable = fd >= 0 || (errno != EACCES && errno != EPERM);
    }
    status->size = static_cast<int64_t>(info.st_size);
    status->modifiedNs = ModifiedNs(info);
    status->fileId = static_cast<uint64_t>(info.st_ino);
    status->kind = !readable               ? FileStatus::kUnreadable
                   : S_ISREG(info.st_mode) ? FileStatus::kRegular
                   : S_ISDIR(info.st_mode) ? FileStatus::kFolder
                                           : FileStatus::kOther;
    return 0;
  }

  FileHandle OpenShared(const char* path) override {
    // POSIX opens never lock others out.
    int fd = OpenRegular(path, 0);
    return fd >= 0 ? static_cast<FileHandle>(fd) : kNoFile;
  }

  FileHandle OpenDirect(const char* path, size_t* alignment) override {
    int fd = OpenRegular(path, O_DIRECT);
    // Some file systems (tmpfs) refuse O_DIRECT; read them through the cache.
    if (fd < 0 && errno == EINVAL) fd = OpenRegular(path, 0);
    if (fd < 0) return kNoFile;
    if (alignment != nullptr) *alignment = kDirectAlignment;
    return static_cast<FileHandle>(fd);
  }

  int64_t Read(FileHandle file, void* buffer, size_t size) override {
    ssize_t got;
    do {
      got = read(static_cast<int>(file), buffer, size);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -1 : static_cast<int64_t>(got);
  }

  int64_t ReadAt(FileHandle file, int64_t offset, void* buffer, size_t size) override {
    ssize_t got;
    do {
      got = pread(static_cast<int>(file), buffer, size, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -1 : static_cast<int64_t>(got);
  }

  void Close(FileHandle file) override {
    if (file != kNoFile) close(static_cast<int>(file));
  }

  void* AllocateAligned(size_t size) override {
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    mlock(block, size);  // best effort, as the lock limit allows
    return block;
  }

  void FreeAligned(void* block, size_t size) override {
    if (block != nullptr) munmap(block, size);
  }
};

}  // namespace

FileSystem& NativeFileSystem() {
  static PosixFiles files;
  return files;
}

FileSystem& PosixFileSystem() { return NativeFileSystem(); }
