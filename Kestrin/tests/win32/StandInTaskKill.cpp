// Stands in for the system's task-kill under wine, whose own knows no
// filters: "TASKKILL.exe /F /FI "USERNAME eq <user>" /IM <name>" ends every
// process of that image name whose owner is that user. Without a user filter
// it ends nothing and fails, so a Stop that would end other users' monitors
// shows. KESTRIN_TASKKILL_DELAY_MS makes it wait that long first (a slow
// task-kill).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>

namespace {

// Whether the process's owner is the account named user (name alone or
// domain\name).
bool OwnedBy(HANDLE process, const char* user) {
  HANDLE token;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
  alignas(TOKEN_USER) BYTE buffer[512];
  DWORD size = 0;
  bool owned = false;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
    char name[256], domain[256];
    DWORD nameSize = sizeof name, domainSize = sizeof domain;
    SID_NAME_USE use;
    if (LookupAccountSidA(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, name, &nameSize, domain,
                          &domainSize, &use)) {
      char qualified[520];
      wsprintfA(qualified, "%s\\%s", domain, name);
      owned = lstrcmpiA(user, name) == 0 || lstrcmpiA(user, qualified) == 0;
    }
  }
  CloseHandle(token);
  return owned;
}

}  // namespace

int main(int argc, char** argv) {
  const char* image = nullptr;
  const char* user = nullptr;
  for (int i = 1; i + 1 < argc; ++i) {
    if (_stricmp(argv[i], "/IM") == 0) image = argv[i + 1];
    if (_stricmp(argv[i], "/FI") == 0 && _strnicmp(argv[i + 1], "USERNAME eq ", 12) == 0) user = argv[i + 1] + 12;
  }
  if (image == nullptr || user == nullptr) return 1;
  const char* delay = std::getenv("KESTRIN_TASKKILL_DELAY_MS");
  if (delay != nullptr) Sleep(static_cast<DWORD>(std::atoi(delay)));
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (_stricmp(entry.szExeFile, image) != 0) continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    if (OwnedBy(process, user)) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 10000);
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return 0;
}
