#include "WatchList.h"

#include <cstdio>
#include <cstring>
#include <random>

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

int LoadWatchList(const char* path) {
  g_keyCounter = 0;
  if (path == nullptr) return 0;
  int folder = HoldListFolder(path);
  if (folder != 0) return folder == 1 ? 0 : kNotPlainFile;
  std::string bytes;
  int read = ReadPlainFile(path, bytes);
  ReleaseListFolder();
  // Only a file that is not there is an empty list.
  if (read != 0) return read == 1 ? 0 : read;
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

namespace {

// This process's own name for the temporary copy of path: the process
// number and a random tag, so no other save and no planted file shares it.
std::string TemporaryName(const char* path, unsigned tag) {
  char name[kTemporaryTagLength + 1];
  std::snprintf(name, sizeof name, ".%08lx%04x", CurrentProcessNumber() & 0xFFFFFFFFUL, tag & 0xFFFFu);
  return std::string(path) + name + kTemporarySuffix;
}

// The list's bytes written under a temporary name only this save uses,
// then moved over path. 0, -1 or kNotPlainFile.
int ReplaceWatchList(const char* path, const std::string& bytes) {
  std::string current;
  int read = ReadPlainFile(path, current);
  if (read == kNotPlainFile) return kNotPlainFile;
  // An unchanged list is not written again, so the backup stays the list
  // before the last change: leaving twice after a mistaken Clear keeps it.
  if (read == 0 && current == bytes) return 0;
  std::random_device random;
  // A name that is taken is somebody else's: never opened, another is tried.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string temporary = TemporaryName(path, random());
    if (temporary.size() >= kPathBufferSize) return -1;
    int written = WriteNewFile(temporary.c_str(), bytes);
    if (written == 1) continue;
    if (written != 0) return -1;
    std::string backup = std::string(path) + kBackupSuffix;
    if (ReplaceFileAtomically(temporary.c_str(), path, backup.c_str()) == 0) return 0;
    std::remove(temporary.c_str());
    return -1;
  }
  return -1;
}

}  // namespace

int SaveWatchList(const char* path) {
  if (path == nullptr || std::strlen(path) + sizeof kBackupSuffix > kPathBufferSize) return -1;
  int folder = HoldListFolder(path);
  if (folder != 0) return folder == 1 ? -1 : kNotPlainFile;
  int saved = ReplaceWatchList(path, FormatWatchList(g_keyCounter));
  ReleaseListFolder();
  return saved;
}
