#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "WatchList.h"

namespace {

// 0 when path is a folder and no link; 1 when it is not there; -2 otherwise.
int RealFolder(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return errno == ENOENT || errno == ENOTDIR ? 1 : -2;
  return S_ISDIR(status.st_mode) ? 0 : -2;
}

}  // namespace

int HoldListFolder(const char* listPath) {
  std::string folder = listPath;
  size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
  int held = RealFolder(folder);
  if (held != 0) return held;
  // The folder above: a link there would move the list's folder with it.
  slash = folder.rfind('/');
  std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
  return RealFolder(parent) == 0 ? 0 : -2;
}

void ReleaseListFolder() {}

int ReadPlainFile(const char* path, std::string& bytes) {
  // Non-blocking, so a pipe in the list's place cannot hold the open.
  int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? 1 : errno == ELOOP ? -2 : -1;
  struct stat status;
  int result = fstat(fd, &status) != 0 ? -1 : !S_ISREG(status.st_mode) || status.st_nlink > 1 ? kNotPlainFile : 0;
  char buffer[4096];
  for (ssize_t got; result == 0 && (got = read(fd, buffer, sizeof buffer)) != 0;) {
    if (got > 0) bytes.append(buffer, static_cast<size_t>(got));
    else if (errno != EINTR) result = -1;
  }
  close(fd);
  return result;
}

int WriteNewFile(const char* path, const std::string& bytes) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST || errno == ELOOP ? 1 : -1;
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t done = write(fd, bytes.data() + written, bytes.size() - written);
    if (done > 0) written += static_cast<size_t>(done);
    else if (done == 0 || errno != EINTR) break;
  }
  // The data must be on disk before the list's name points at it.
  bool ok = written == bytes.size() && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) return 0;
  unlink(path);
  return -1;
}

unsigned long CurrentProcessNumber() { return static_cast<unsigned long>(getpid()); }

int ReplaceFileAtomically(const char* temporary, const char* target, const char* backup) {
  // The backup is a copy made under a name of this save's own, then moved
  // into place: a second name of the list would make it no plain file, and a
  // save running at the same time never finds the backup half made.
  std::string old;
  int read = ReadPlainFile(target, old);
  if (read < 0) return -1;
  if (read == 0) {
    std::string staged = std::string(temporary) + kBackupSuffix;
    if (WriteNewFile(staged.c_str(), old) != 0) return -1;
    if (std::rename(staged.c_str(), backup) != 0) {
      unlink(staged.c_str());
      return -1;
    }
  }
  return std::rename(temporary, target) == 0 ? 0 : -1;
}

void RemoveFile(const char* path) { unlink(path); }
