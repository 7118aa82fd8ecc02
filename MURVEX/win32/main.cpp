#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "Monitor.h"
#include "WideText.h"

int main() {
  // The manager starts each monitor minimised, so that the console host keeps
  // the console rather than hand it to a terminal program, whose tab the
  // manager could neither find nor move. Shown again, without taking the
  // focus, before anything else; a console that is not minimised (a command
  // prompt, a terminal tab) is left as it is.
  HWND console = GetConsoleWindow();
  if (console != nullptr && IsIconic(console)) ShowWindow(console, SW_SHOWNOACTIVATE);
  // The arguments from the wide command line, in UTF-8: the runtime's ANSI
  // ones best-fit what code page 932 lacks (é to e), another file's name.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return 1;
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  return MonitorMain(count, argv.data(), NativePlatform());
}
