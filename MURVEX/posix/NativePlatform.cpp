#include <unistd.h>

#include "PosixPlatform.h"

TerminalConsole& NativeTerminal() {
  static TerminalConsole console(STDOUT_FILENO, STDERR_FILENO);
  return console;
}

MonitorPlatform NativePlatform() {
  static InotifyWatcher watcher;
  // A reader of the output that goes away ends the monitor, even while the
  // file is quiet.
  watcher.EndWithReaderOf(STDOUT_FILENO);
  return MonitorPlatform{&PosixFileSystem(), &NativeTerminal(), &watcher};
}
