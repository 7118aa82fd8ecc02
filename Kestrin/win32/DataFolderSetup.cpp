#include <io.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CommandRunner.h"
#include "DataFolder.h"
#include "WatchList.h"

const char* SetupDataFolder() {
  if (FormatDataFolder(std::getenv("ProgramData"), g_dataFolder, sizeof g_dataFolder) != 0) {
    g_dataFolder[0] = '\0';
    return nullptr;
  }
  // An existing folder is used as it is, its access rules untouched.
  if (_access(g_dataFolder, 0) == 0) return g_dataFolder;

  // Create the missing levels one by one.
  char work[sizeof g_dataFolder] = "";
  char component[kTokenSize];
  const char* rest = g_dataFolder;
  bool first = true;
  while ((rest = NextToken(rest, component, ":\\")) != nullptr) {
    int length;
    if (first) {
      first = false;
      if (std::strlen(component) == 1 && std::isalpha(static_cast<unsigned char>(component[0]))) {
        length = std::snprintf(work, sizeof work, "%s:", component);
        if (_access(work, 0) != 0) return g_dataFolder;  // no such drive
        continue;
      }
      length = std::snprintf(work, sizeof work, "\\\\%s", component);  // a server
      if (length < 0 || static_cast<size_t>(length) >= sizeof work) return g_dataFolder;
      continue;
    }
    size_t used = std::strlen(work);
    length = std::snprintf(work + used, sizeof work - used, "\\%s", component);
    if (length < 0 || static_cast<size_t>(length) >= sizeof work - used) return g_dataFolder;
    if (_access(work, 0) != 0 && !CreateDirectoryA(work, nullptr)) return g_dataFolder;
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
  if (!SetFileSecurityA(g_dataFolder, DACL_SECURITY_INFORMATION, &descriptor)) return 0;
  return 1;
}
