#include "WatchList.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "DoubleByteText.h"
#include "KeyedTextTable.h"

int g_keyCounter = 0;
int g_monitoringFlag = 0;

namespace {
constexpr size_t kReadSize = 260;  // one fgets read: 259 bytes and NUL
}

int ParseWatchList(const char* bytes, size_t size) {
  int count = 0;
  size_t position = 0;
  char piece[kReadSize];
  while (position < size) {
    size_t length = 0;
    while (length < kReadSize - 1 && position < size) {
      char byte = bytes[position++];
      piece[length++] = byte;
      if (byte == '\n') break;
    }
    piece[length] = '\0';
    // A NUL in the line ends the text, as it would for fgets.
    if (char* cr = const_cast<char*>(FindLastChar(piece, '\r'))) *cr = '\0';
    if (char* lf = const_cast<char*>(FindLastChar(piece, '\n'))) *lf = '\0';
    TableInsert(DecimalKey(count), piece);
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
  FILE* file = std::fopen(path, "rb");
  // Only a file that is not there is an empty list.
  if (file == nullptr) return errno == ENOENT ? 0 : -1;
  std::string bytes;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return -1;
  g_keyCounter = ParseWatchList(bytes.data(), bytes.size());
  return 0;
}

namespace {

int FoldAscii(unsigned char byte) { return byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte; }

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int x = FoldAscii(static_cast<unsigned char>(*a));
    if (x != FoldAscii(static_cast<unsigned char>(*b))) return false;
    if (x == 0) return true;
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
  if (temporary.size() >= kPathBufferSize) return -1;
  std::string bytes = FormatWatchList(g_keyCounter);
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return -1;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  if (ok && ReplaceFileAtomically(temporary.c_str(), path) == 0) return 0;
  std::remove(temporary.c_str());
  return -1;
}
