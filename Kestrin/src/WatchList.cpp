#include "WatchList.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "DoubleByteText.h"
#include "KeyedTextTable.h"

int g_keyCounter = 0;
int g_monitoringFlag = 0;

int ParseWatchList(const char* bytes, size_t size) {
  int count = 0;
  size_t position = 0;
  std::string line;
  while (position < size) {
    const void* found = std::memchr(bytes + position, '\n', size - position);
    size_t end = found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - bytes) : size;
    // A NUL ends the text, as for any C string the table keeps.
    line.assign(bytes + position, end - position);
    line.resize(std::strlen(line.c_str()));
    position = end + 1;
    // CR LF and LF alone are both line ends; a CR that is a second byte is text.
    if (!line.empty() && line.back() == '\r' && !IsTrailByteAt(line.c_str(), line.size() - 1)) line.pop_back();
    // An empty line would start a monitor with no file.
    if (line.empty()) continue;
    TableInsert(DecimalKey(count), line.c_str());
    ++count;
  }
  return count;
}

std::string FormatWatchList(int keyCounter) {
  std::string bytes;
  for (int i = 0; i < keyCounter; ++i) {
    const char* path = TableFind(DecimalKey(i));
    if (path == nullptr) continue;
    bytes += path;
    bytes += "\r\n";
  }
  return bytes;
}

namespace {

// The file's bytes into bytes. 0 when read; 1 when there is no such file;
// -1 when it is there but cannot be opened or read.
int ReadWholeFile(const char* path, std::string& bytes) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return errno == ENOENT ? 1 : -1;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  return failed ? -1 : 0;
}

}  // namespace

int LoadWatchList(const char* path) {
  g_keyCounter = 0;
  if (path == nullptr) return 0;
  std::string bytes;
  int read = ReadWholeFile(path, bytes);
  // Only a file that is not there is an empty list.
  if (read != 0) return read == 1 ? 0 : -1;
  g_keyCounter = ParseWatchList(bytes.data(), bytes.size());
  return 0;
}

namespace {

int FoldAscii(unsigned char byte) { return byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte; }

// Single-byte letters fold; the second byte of a double-byte character is
// compared exactly (ア and ヂ differ only by 0x41 against 0x61 there).
bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int x = FoldAscii(static_cast<unsigned char>(*a));
    if (x != FoldAscii(static_cast<unsigned char>(*b))) return false;
    if (x == 0) return true;
    if (IsLeadByte(static_cast<unsigned char>(*a))) {
      ++a, ++b;
      if (*a != *b) return false;
      if (*a == '\0') return true;
    }
  }
}

}  // namespace

bool IsListed(const char* path) {
  struct Search {
    const char* path;
    bool found;
  } search{path, false};
  if (path == nullptr) return false;
  TableWalk(
      [](const char*, const char* value, int, void* context) {
        Search* s = static_cast<Search*>(context);
        s->found = EqualIgnoringAsciiCase(value, s->path);
        return s->found ? 0 : 1;
      },
      &search);
  return search.found;
}

int AddToWatchList(const char* path) {
  int key = g_keyCounter;
  TableInsert(DecimalKey(key), path);
  ++g_keyCounter;
  return key;
}

int SaveWatchList(const char* path) {
  if (path == nullptr) return -1;
  std::string temporary = std::string(path) + kTemporarySuffix;
  std::string backup = std::string(path) + kBackupSuffix;
  if (temporary.size() >= kPathBufferSize || backup.size() >= kPathBufferSize) return -1;
  std::string bytes = FormatWatchList(g_keyCounter);
  // An unchanged list is not written again, so the backup stays the list
  // before the last change: leaving twice after a mistaken Clear keeps it.
  std::string current;
  if (ReadWholeFile(path, current) == 0 && current == bytes) return 0;
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return -1;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  if (ok && ReplaceFileAtomically(temporary.c_str(), path, backup.c_str()) == 0) return 0;
  std::remove(temporary.c_str());
  return -1;
}
