#include <poll.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "PosixPlatform.h"

int InotifyWatcher::Start(const char* folder) {
  Stop();
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return -1;
  const uint32_t mask = IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                        IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
  if (inotify_add_watch(fd_, folder, mask) < 0) {
    Stop();
    return -1;
  }
  return 0;
}

int InotifyWatcher::Wait(int timeoutMs) {
  if (fd_ < 0) return kWaitFailed;
  pollfd watched = {fd_, POLLIN, 0};
  int ready;
  do {
    ready = poll(&watched, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return kWaitFailed;
  if (ready == 0) return kTimedOut;
  // Drain everything queued so one burst of changes is one wake-up.
  bool gone = false;
  alignas(inotify_event) char events[16384];
  for (;;) {
    ssize_t got = read(fd_, events, sizeof events);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) break;
      return kWaitFailed;
    }
    if (got == 0) break;
    for (ssize_t at = 0; at < got;) {
      const inotify_event* event = reinterpret_cast<const inotify_event*>(events + at);
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) gone = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return gone ? kFolderGone : kWoke;
}

void InotifyWatcher::Stop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

int64_t InotifyWatcher::CpuUs() {
  timespec used;
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) != 0) return ChangeWatcher::CpuUs();
  return static_cast<int64_t>(used.tv_sec) * 1000000 + used.tv_nsec / 1000;
}
