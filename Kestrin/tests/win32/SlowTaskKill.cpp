// Stands in for the system's task-kill in the test that stops with a slow
// one: waits 12 seconds, then ends every process whose image name is the one
// after /IM, as "TASKKILL.exe /F /IM <name>" does.
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>

int main(int argc, char** argv) {
  const char* image = nullptr;
  for (int i = 1; i + 1 < argc; ++i) {
    if (_stricmp(argv[i], "/IM") == 0) image = argv[i + 1];
  }
  if (image == nullptr) return 1;
  Sleep(12000);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (_stricmp(entry.szExeFile, image) != 0) continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return 0;
}
