#include "Win32Platform.h"

MonitorPlatform NativePlatform() {
  static WindowsConsole console;
  static NotificationWatcher watcher;
  return MonitorPlatform{&NativeFileSystem(), &console, &watcher};
}
