// Directory test on POSIX systems.
#include <sys/stat.h>

#include "DoubleByteText.h"

int IsDirectory(const char* path) {
  if (path == nullptr || path[0] == '\0') return 0;
  struct stat status;
  if (stat(path, &status) != 0) return 0;
  return S_ISDIR(status.st_mode) ? 1 : 0;
}
