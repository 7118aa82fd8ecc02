#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "WatchList.h"

int ReplaceFileAtomically(const char* temporary, const char* target, const char* backup) {
  // The data must be on disk before the name points at it.
  int fd = open(temporary, O_RDONLY);
  if (fd < 0) return -1;
  bool synced = fsync(fd) == 0;
  close(fd);
  if (!synced) return -1;
  // A second name for the old list, so the target is never missing.
  if (unlink(backup) != 0 && errno != ENOENT) return -1;
  if (link(target, backup) != 0 && errno != ENOENT) return -1;
  return std::rename(temporary, target) == 0 ? 0 : -1;
}
