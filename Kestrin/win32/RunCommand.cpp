#include <direct.h>
#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "CommandRunner.h"
#include "DoubleByteText.h"

namespace {

// The manager's own executable, found on first need.
char g_modulePath[kPathBufferSize] = "";

class SystemEnvironment : public CommandEnvironment {
 public:
  const char* Variable(const char* name) override { return std::getenv(name); }
  bool IsReadable(const char* path) override { return _access(path, 4) == 0; }
  void ChangeDirectory(const char* path) override { (void)_chdir(path); }
  const char* ExecutableFolder() override {
    if (g_modulePath[0] == '\0') {
      DWORD length = GetModuleFileNameA(nullptr, g_modulePath, sizeof g_modulePath);
      if (length == 0 || length >= sizeof g_modulePath) g_modulePath[0] = '\0';
    }
    return FolderOfPath(g_modulePath);
  }
};

}  // namespace

int RunCommand(const char* command, int show) {
  SystemEnvironment environment;
  BuiltCommand built;
  if (BuildCommandLine(command, show, environment, &built) != 0) return -1;

  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (built.hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  if (!CreateProcessA(nullptr, built.commandLine, nullptr, nullptr, TRUE, built.creationFlags, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return 0;
}
