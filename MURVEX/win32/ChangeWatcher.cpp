// Change wait on Windows: one change notification on the watched folder and
// everything below it, re-armed with FindNextChangeNotification after each
// wake-up so that changes made during a pass are not lost.
#include <windows.h>

#include "Win32Platform.h"
#include "WideText.h"

namespace {
constexpr DWORD kChangeFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE;
// Quiet time after which the notification is armed afresh (see Wait). The
// cycle's waits are short; arming at each of them would close and open the
// folder twice a second for nothing. Letting go now and then also lets a
// folder that was deleted while we held it go where its pending deletion
// cannot be seen (wine shows it neither in its attributes nor by a signal).
constexpr int kRearmAfterQuietMs = 5000;
}

// The notification names no file: every change in the folder wakes the wait.
int NotificationWatcher::Start(const char* folder, const char*) {
  Stop();
  folder_ = folder;
  HANDLE handle = FindFirstChangeNotificationW(WideFromUtf8(folder).c_str(), TRUE, kChangeFilter);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  handle_ = handle;
  quietMs_ = 0;
  return 0;
}

int NotificationWatcher::Wait(int timeoutMs) {
  if (handle_ == nullptr) {
    Sleep(static_cast<DWORD>(timeoutMs));
    return kTimedOut;
  }
  DWORD result = WaitForSingleObject(static_cast<HANDLE>(handle_), static_cast<DWORD>(timeoutMs));
  if (result == WAIT_FAILED) return kWaitFailed;
  // A folder deleted while our handle is open stays pending deletion until
  // the handle closes: found gone (or pending), it is let go at once, so it
  // can really go and be made again under its name.
  if (GetFileAttributesW(WideFromUtf8(folder_.c_str()).c_str()) == INVALID_FILE_ATTRIBUTES) {
    Stop();
    return kFolderGone;
  }
  if (result == WAIT_OBJECT_0) {
    quietMs_ = 0;
    if (!FindNextChangeNotification(static_cast<HANDLE>(handle_))) {
      Stop();
      return kFolderGone;
    }
    return kWoke;
  }
  quietMs_ += timeoutMs;
  if (quietMs_ < kRearmAfterQuietMs) return kTimedOut;
  // Quiet for a while: arm afresh.
  std::string folder = folder_;
  return Start(folder.c_str(), nullptr) == 0 ? kTimedOut : kFolderGone;
}

void NotificationWatcher::Stop() {
  if (handle_ != nullptr) FindCloseChangeNotification(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}
