#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DataFolder.h"
#include "WatchList.h"
#include "WideText.h"

namespace {

bool Exists(const std::string& path) { return GetFileAttributesW(WideFromUtf8(path.c_str()).c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

const char* SetupDataFolder() {
  // The folder is kept in UTF-8, as every path, and reached by its wide name.
  const wchar_t* wide = _wgetenv(L"ProgramData");
  std::string programData = Utf8FromWide(wide);
  if (FormatDataFolder(wide == nullptr ? nullptr : programData.c_str(), g_dataFolder, sizeof g_dataFolder) != 0) {
    g_dataFolder[0] = '\0';
    return nullptr;
  }
  // An existing folder is used as it is, its access rules untouched.
  const std::string folder = g_dataFolder;
  if (Exists(folder)) return g_dataFolder;

  // Create the missing levels one by one: each backslash after the drive
  // ("C:") or the server ("\\server") ends one. In UTF-8 every 0x5C is a
  // backslash.
  size_t level;
  if (folder.size() >= 2 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':') {
    if (!Exists(folder.substr(0, 2))) return g_dataFolder;  // no such drive
    level = 2;
  } else if (folder.compare(0, 2, "\\\\") == 0) {
    level = folder.find('\\', 2);
  } else {
    return g_dataFolder;
  }
  while (level != std::string::npos) {
    size_t next = folder.find('\\', level + 1);
    std::string made = folder.substr(0, next);
    if (next != level + 1 && !Exists(made) && !CreateDirectoryW(WideFromUtf8(made.c_str()).c_str(), nullptr)) {
      return g_dataFolder;
    }
    level = next;
  }
  // Never opened up to everyone through a junction planted on the way,
  // nor swapped for one meanwhile.
  char listPath[sizeof g_dataFolder + sizeof kWatchListFileName];
  std::snprintf(listPath, sizeof listPath, "%s\\%s", g_dataFolder, kWatchListFileName);
  if (HoldListFolder(listPath) == 0) {
    GrantEveryoneAccess();
    ReleaseListFolder();
  }
  return g_dataFolder;
}

int GrantEveryoneAccess() {
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return 0;
  alignas(DWORD) BYTE aclBuffer[4096];
  PACL acl = reinterpret_cast<PACL>(aclBuffer);
  if (!InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION)) return 0;
  // Everyone by its well-known identifier: the account's name is
  // translated on localised Windows.
  alignas(DWORD) BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD everyoneSize = sizeof everyone;
  if (!CreateWellKnownSid(WinWorldSid, nullptr, everyone, &everyoneSize)) return 0;
  // Read, write, run and delete; not the right to change permissions or
  // owner.
  DWORD rights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE | FILE_DELETE_CHILD;
  if (!AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, rights, everyone)) return 0;
  if (!SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) return 0;
  if (!SetFileSecurityW(WideFromUtf8(g_dataFolder).c_str(), DACL_SECURITY_INFORMATION, &descriptor)) return 0;
  return 1;
}
