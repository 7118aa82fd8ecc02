// Double-byte-aware searches and path parts for Shift-JIS byte strings.
//
// A position is a trail position exactly when a walk over the text's
// characters from its start (two bytes from a lead byte, one otherwise)
// steps over it, so every search below is one such walk: O(n) instead of a
// rescan from the start per position.
#include "DoubleByteText.h"

#include <cstring>

namespace {

// Process-wide result buffers (overwritten by the next call of the same
// operation):
char g_folderOfPath[kPathBufferSize];    // FolderOfPath's result
char g_fileNameOfPath[kPathBufferSize];  // FileNameOfPath's result
char g_folderOfUtf8Path[kUtf8PathBufferSize];    // FolderOfUtf8Path's result
char g_fileNameOfUtf8Path[kUtf8PathBufferSize];  // FileNameOfUtf8Path's result

// Copies at most 259 bytes of path, always terminated.
void CopyPath(char* buffer, const char* path) {
  size_t length = strnlen(path, kPathBufferSize - 1);
  std::memcpy(buffer, path, length);
  buffer[length] = '\0';
}

// Copies path into buffer, cut before a UTF-8 character that would not fit.
void CopyUtf8Path(char* buffer, const char* path) {
  size_t length = strnlen(path, kUtf8PathBufferSize);
  if (length == kUtf8PathBufferSize) {
    length = kUtf8PathBufferSize - 1;
    while (length > 0 && (static_cast<unsigned char>(path[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(buffer, path, length);
  buffer[length] = '\0';
}

// The path in buffer cut after lastSeparator, or ".\" when it has none.
const char* KeepFolder(char* buffer, char* lastSeparator) {
  if (lastSeparator != nullptr) {
    lastSeparator[1] = '\0';
  } else {
    std::strcpy(buffer, ".\\");
  }
  return buffer;
}

}  // namespace

int IsLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

int IsTrailByteAt(const char* text, size_t position) {
  if (text == nullptr || position == 0) return 0;
  // Stop at the terminator: position must lie inside the text.
  for (size_t i = 0; i < position; ++i) {
    if (text[i] == '\0') return 0;
  }
  if (text[position] == '\0') return 0;
  if (!IsLeadByte(static_cast<unsigned char>(text[position - 1]))) return 0;
  size_t step = 0;
  while (step < position) step += IsLeadByte(static_cast<unsigned char>(text[step])) ? 2 : 1;
  return step != position ? 1 : 0;
}

const char* FindLastChar(const char* text, char c) {
  if (text == nullptr) return nullptr;
  const char* found = nullptr;
  for (const char* p = text; *p != '\0';) {
    if (*p == c) found = p;
    // A lead byte's partner is skipped, unless the lead ends the text.
    p += (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') ? 2 : 1;
  }
  return found;
}

const char* FindFirstSpace(const char* text) {
  if (text == nullptr) return nullptr;
  for (const char* p = text; *p != '\0';) {
    if (*p == ' ') return p;
    p += (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') ? 2 : 1;
  }
  return nullptr;
}

const char* FolderOfPath(const char* path) {
  if (path == nullptr) path = "";
  if (IsDirectory(path)) return path;
  CopyPath(g_folderOfPath, path);
  return KeepFolder(g_folderOfPath, const_cast<char*>(FindLastChar(g_folderOfPath, '\\')));
}

const char* FileNameOfPath(const char* path) {
  if (path == nullptr) path = "";
  CopyPath(g_fileNameOfPath, path);
  const char* lastSeparator = FindLastChar(g_fileNameOfPath, '\\');
  return lastSeparator != nullptr ? lastSeparator + 1 : g_fileNameOfPath;
}

const char* FolderOfUtf8Path(const char* path) {
  CopyUtf8Path(g_folderOfUtf8Path, path != nullptr ? path : "");
  return KeepFolder(g_folderOfUtf8Path, std::strrchr(g_folderOfUtf8Path, '\\'));
}

const char* FileNameOfUtf8Path(const char* path) {
  CopyUtf8Path(g_fileNameOfUtf8Path, path != nullptr ? path : "");
  const char* lastSeparator = std::strrchr(g_fileNameOfUtf8Path, '\\');
  return lastSeparator != nullptr ? lastSeparator + 1 : g_fileNameOfUtf8Path;
}
