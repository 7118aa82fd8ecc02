// The watch list loader over arbitrary file bytes: every read of at most 259
// bytes becomes exactly one entry, cut at its last CR and LF; and a list of
// proper paths written and read back comes back unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DoubleByteText.h"
#include "KeyedTextTable.h"
#include "WatchList.h"

namespace {

// fgets into 260 bytes, then the text cut at its last CR (not a second byte)
// and at its last LF (not a second byte) in what is left.
std::vector<std::string> PlainParse(const std::string& bytes) {
  std::vector<std::string> entries;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = at;
    while (end < bytes.size() && end - at < 259) {
      if (bytes[end++] == '\n') break;
    }
    std::string piece = bytes.substr(at, end - at);
    at = end;
    piece = piece.substr(0, piece.find('\0'));
    for (char c : {'\r', '\n'}) {
      for (size_t i = piece.size(); i-- > 0;) {
        if (piece[i] == c && !IsTrailByteAt(piece.c_str(), i)) {
          piece.resize(i);
          break;
        }
      }
    }
    entries.push_back(piece);
  }
  return entries;
}

std::vector<std::string> Loaded(int count) {
  std::vector<std::string> entries;
  for (int i = 0; i < count; ++i) {
    const char* value = TableFind(DecimalKey(i));
    if (value == nullptr) abort();
    entries.push_back(value);
  }
  return entries;
}

// What a dropped path can be: no CR, LF or NUL, room for CR LF in one read,
// and no lead byte without its second byte at the end.
bool ProperPath(const std::string& path) {
  if (path.size() > 257 || path.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
  size_t i = 0;
  while (i < path.size()) i += IsLeadByte(static_cast<unsigned char>(path[i])) ? 2 : 1;
  return i == path.size();
}

// Empties the table key by key: clearing it would release its storage and
// make every run pay for setting it up again.
void Forget(int count) {
  for (int i = 0; i < count; ++i) TableRemove(DecimalKey(i));
}

}  // namespace

// The table's storage is set up once, before the runs, so that no run looks
// like it leaks what the table keeps for the next; it is released at exit,
// before the table's own statics go.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TableInsert("0", "");
  TableRemove("0");
  atexit([] { TableClear(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);

  int count = ParseWatchList(bytes.data(), bytes.size());
  std::vector<std::string> entries = Loaded(count);
  if (entries != PlainParse(bytes)) abort();
  for (const std::string& entry : entries) {
    if (entry.size() > 259) abort();
  }

  // Saved and loaded again: proper paths survive exactly, in order.
  std::vector<std::string> proper;
  for (const std::string& entry : entries) {
    if (ProperPath(entry)) proper.push_back(entry);
  }
  Forget(count);
  for (size_t i = 0; i < proper.size(); ++i) TableInsert(DecimalKey(static_cast<int>(i)), proper[i].c_str());
  std::string file = FormatWatchList(static_cast<int>(proper.size()));
  Forget(static_cast<int>(proper.size()));
  int reloaded = ParseWatchList(file.data(), file.size());
  if (Loaded(reloaded) != proper) {
    fprintf(stderr, "a list of %zu proper paths did not survive saving and loading\n", proper.size());
    abort();
  }
  Forget(reloaded);
  return 0;
}
