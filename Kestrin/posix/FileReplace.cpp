#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "WatchList.h"

int ReplaceFileAtomically(const char* temporary, const char* target) {
  // The data must be on disk before the name points at it.
  int fd = open(temporary, O_RDONLY);
  if (fd < 0) return -1;
  bool synced = fsync(fd) == 0;
  close(fd);
  if (!synced) return -1;
  return std::rename(temporary, target) == 0 ? 0 : -1;
}
