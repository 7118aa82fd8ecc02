#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "PosixPlatform.h"

namespace {

// The reader of the output has gone: the process ends as a write to a
// closed pipe ends it, by SIGPIPE, or with status 1 where that is ignored.
[[noreturn]] void EndAsOnAClosedPipe() {
  raise(SIGPIPE);
  exit(1);
}

}  // namespace

int InotifyWatcher::Start(const char* folder, const char* file) {
  Stop();
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return -1;
  const uint32_t mask = IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                        IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
  folderWatch_ = inotify_add_watch(fd_, folder, mask);
  if (folderWatch_ < 0) {
    Stop();
    return -1;
  }
  file_ = file != nullptr ? file : "";
  const char* slash = strrchr(file_.c_str(), '/');
  name_ = slash != nullptr ? slash + 1 : file_;
  WatchTheFile();
  return 0;
}

// The file the name leads to now is watched itself, wherever it lies (a
// symbolic link's target in another folder included): its writes wake the
// wait, while the folder's watch wakes it only for what happens to the
// name. A dozen monitors of logs in one folder then wake for their own
// file's writes, not for each other's.
void InotifyWatcher::WatchTheFile() {
  if (name_.empty()) return;
  // Added to, never replacing, the folder's own mask where the name leads
  // back to the folder ("logs/.").
  const uint32_t mask = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_MASK_ADD;
  int watch = inotify_add_watch(fd_, file_.c_str(), mask);
  // The file the name led to before (renamed away, or still there under
  // another name) wakes the wait no more.
  if (fileWatch_ >= 0 && fileWatch_ != watch && fileWatch_ != folderWatch_) inotify_rm_watch(fd_, fileWatch_);
  fileWatch_ = watch;
  watchAgain_ = watch < 0;
}

// Whether the event concerns the watched file: anything the file's own
// watch reports, or what happens under its name in the folder (the name
// created, deleted or renamed away or over). Any event does when no file
// was named.
bool InotifyWatcher::Concerns(const inotify_event& event) {
  if (name_.empty() || event.wd < 0) return true;  // an overflowed queue may have lost one
  if (event.wd == fileWatch_ && event.wd != folderWatch_) {
    if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) watchAgain_ = true;
    return true;
  }
  if (event.wd != folderWatch_) return false;  // a file the name led to before
  if (event.len == 0) return true;             // the folder itself
  if (name_ != event.name) return false;
  if (event.mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) watchAgain_ = true;
  return true;
}

int InotifyWatcher::Wait(int timeoutMs) {
  if (fd_ >= 0 && watchAgain_) WatchTheFile();
  const int64_t deadlineMs = NowMs() + timeoutMs;
  // The output is looked at too (a negative descriptor is passed over): a
  // closed pipe or a terminal hung up shows as an error at once. Not armed,
  // only the output is, for the time-out.
  for (int leftMs = timeoutMs;;) {
    pollfd watched[2] = {{fd_, POLLIN, 0}, {readerOf_, 0, 0}};
    int ready;
    do {
      ready = poll(watched, 2, leftMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return kWaitFailed;
    if ((watched[1].revents & (POLLERR | POLLHUP)) != 0) EndAsOnAClosedPipe();
    if ((watched[0].revents & POLLIN) == 0) return kTimedOut;
    // Drain everything queued so one burst of changes is one wake-up.
    bool gone = false;
    bool concerned = false;
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
        if (event->wd == folderWatch_ && (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT))) {
          gone = true;
        }
        if (Concerns(*event)) concerned = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    if (gone) {
      Stop();
      return kFolderGone;
    }
    if (watchAgain_) WatchTheFile();
    if (concerned) return kWoke;
    // Only other files of the folder changed: the wait goes on.
    if (timeoutMs < 0) continue;
    int64_t left = deadlineMs - NowMs();
    if (left <= 0) return kTimedOut;
    leftMs = static_cast<int>(left);
  }
}

void InotifyWatcher::Stop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  folderWatch_ = -1;
  fileWatch_ = -1;
  watchAgain_ = false;
}

int64_t InotifyWatcher::CpuUs() {
  timespec used;
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) != 0) return ChangeWatcher::CpuUs();
  return static_cast<int64_t>(used.tv_sec) * 1000000 + used.tv_nsec / 1000;
}
