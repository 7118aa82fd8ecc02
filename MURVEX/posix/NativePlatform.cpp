#include <unistd.h>

#include "PosixPlatform.h"

MonitorPlatform NativePlatform() {
  static TerminalConsole console(STDOUT_FILENO, STDERR_FILENO);
  static InotifyWatcher watcher;
  return MonitorPlatform{&PosixFileSystem(), &console, &watcher};
}
