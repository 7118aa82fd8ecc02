#include <sys/random.h>

#include <cerrno>

#include "LineDigest.h"

int SystemRandom64(uint64_t* value) {
  for (;;) {
    // Non-blocking: early in boot, before the pool is ready, the caller's
    // fallback is better than a monitor that does not start.
    ssize_t got = getrandom(value, sizeof *value, GRND_NONBLOCK);
    if (got == static_cast<ssize_t>(sizeof *value)) return 0;
    if (got < 0 && errno == EINTR) continue;
    return -1;
  }
}
