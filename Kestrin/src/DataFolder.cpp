#include "DataFolder.h"

#include <cstdio>
#include <cstring>

#include "DoubleByteText.h"
#include "WatchList.h"

char g_dataFolder[260] = "";
char g_watchListPath[260] = "";
bool g_watchListRefused = false;

int FormatDataFolder(const char* programData, char* folder, size_t size) {
  if (programData == nullptr || folder == nullptr) return -1;
  size_t length = std::strlen(programData);
  // UTF-8, where every 0x5C is a backslash.
  bool endsInBackslash = length > 0 && programData[length - 1] == '\\';
  const char* separator = endsInBackslash ? "" : "\\";
  // The watch list path must fit a path buffer too, and so must the
  // temporary copy it is saved through.
  size_t needed = length + std::strlen(separator) + std::strlen("Fennwick\\Kestrin");
  size_t listTail = 1 + std::strlen(kWatchListFileName) + kTemporaryTagLength + std::strlen(kTemporarySuffix);
  if (needed + listTail > kPathBufferSize - 1 || needed >= size) return -1;
  std::snprintf(folder, size, "%s%sFennwick\\Kestrin", programData, separator);
  return 0;
}
