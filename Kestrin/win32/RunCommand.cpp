#include <direct.h>
#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "CommandRunner.h"
#include "DoubleByteText.h"
#include "WideText.h"

namespace {

// The manager's own executable (UTF-8), found on first need; empty when its
// path is too long.
bool g_moduleLooked = false;
char g_modulePath[kPathBufferSize] = "";
char g_executableFolder[kPathBufferSize] = "";

// Texts in UTF-8, reaching the system through its wide calls.
class SystemEnvironment : public CommandEnvironment {
 public:
  const char* Variable(const char* name) override {
    const wchar_t* value = _wgetenv(WideFromUtf8(name).c_str());
    if (value == nullptr) return nullptr;
    std::string& kept = m_values[name];  // stays put while the command is built
    kept = Utf8FromWide(value);
    return kept.c_str();
  }
  bool IsReadable(const char* path) override { return _waccess(WideFromUtf8(path).c_str(), 4) == 0; }
  void ChangeDirectory(const char* path) override { (void)_wchdir(WideFromUtf8(path).c_str()); }
  const char* ExecutableFolder() override { return ::ExecutableFolder(); }

 private:
  std::map<std::string, std::string> m_values;
};

// Creates the process; its handle in *process when asked for, else closed.
int StartProcess(const char* command, int show, HANDLE* process) {
  SystemEnvironment environment;
  BuiltCommand built;
  if (BuildCommandLine(command, show, environment, &built) != 0) return -1;

  STARTUPINFOW startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (built.showWindow >= 0) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(built.showWindow);
  }
  PROCESS_INFORMATION created;
  std::memset(&created, 0, sizeof created);
  std::wstring line = WideFromUtf8(built.commandLine);
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, built.creationFlags, nullptr, nullptr, &startup,
                      &created)) {
    return -1;
  }
  CloseHandle(created.hThread);
  if (process != nullptr) {
    *process = created.hProcess;
  } else {
    CloseHandle(created.hProcess);
  }
  return 0;
}

}  // namespace

const char* ExecutableFolder() {
  if (!g_moduleLooked) {
    g_moduleLooked = true;
    // Asked for in UTF-16: the ANSI call best-fits a character the code page
    // lacks (é to e, naming a look-alike folder) and cuts a long path. Better
    // no folder than another's.
    std::wstring wide(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, &wide[0], static_cast<DWORD>(wide.size()));
    if (length > 0 && length < wide.size()) {
      wide.resize(length);
      std::string path = Utf8FromWide(wide.c_str());
      if (path.size() < sizeof g_modulePath) std::memcpy(g_modulePath, path.c_str(), path.size() + 1);
    }
    if (std::strchr(g_modulePath, '\\') != nullptr) {
      std::strncpy(g_executableFolder, FolderOfUtf8Path(g_modulePath), sizeof g_executableFolder - 1);
    }
  }
  return g_executableFolder;
}

int RunCommand(const char* command, int show) { return StartProcess(command, show, nullptr); }

int RunCommandAndWait(const char* command, int show, unsigned long timeoutMs) {
  HANDLE process = nullptr;
  if (StartProcess(command, show, &process) != 0) return -1;
  bool forever = timeoutMs == INFINITE;
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  int result = 1;
  for (bool waiting = true; waiting;) {
    ULONGLONG now = GetTickCount64();
    DWORD left = forever ? INFINITE : now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    DWORD woke = MsgWaitForMultipleObjectsEx(1, &process, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) result = 0;
    if (woke != WAIT_OBJECT_0 + 1) break;  // ended, timed out or failed
    // Painting, sent messages and input go on while the process runs.
    MSG message;
    while (waiting && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that owns it
        waiting = false;
      } else {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }
  CloseHandle(process);
  return result;
}
