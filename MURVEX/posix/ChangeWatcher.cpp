#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "PosixPlatform.h"

namespace {

// The reader of the output has gone: the process ends as a write to a
// closed pipe ends it, by SIGPIPE, or with status 1 where that is ignored.
[[noreturn]] void EndAsOnAClosedPipe() {
  raise(SIGPIPE);
  exit(1);
}

}  // namespace

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
  // The output is looked at too (a negative descriptor is passed over): a
  // closed pipe or a terminal hung up shows as an error at once. Not armed,
  // only the output is, for the time-out.
  pollfd watched[2] = {{fd_, POLLIN, 0}, {readerOf_, 0, 0}};
  int ready;
  do {
    ready = poll(watched, 2, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return kWaitFailed;
  if ((watched[1].revents & (POLLERR | POLLHUP)) != 0) EndAsOnAClosedPipe();
  if ((watched[0].revents & POLLIN) == 0) return kTimedOut;
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
  if (!gone) return kWoke;
  Stop();
  return kFolderGone;
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
