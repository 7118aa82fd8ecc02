#include <windows.h>

#include "Monitor.h"

int main(int argc, char** argv) {
  // The manager starts each monitor minimised, so that the console host keeps
  // the console rather than hand it to a terminal program, whose tab the
  // manager could neither find nor move. Shown again, without taking the
  // focus, before anything else; a console that is not minimised (a command
  // prompt, a terminal tab) is left as it is.
  HWND console = GetConsoleWindow();
  if (console != nullptr && IsIconic(console)) ShowWindow(console, SW_SHOWNOACTIVATE);
  return MonitorMain(argc, argv, NativePlatform());
}
