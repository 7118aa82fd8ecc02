// The watch list loader over arbitrary file bytes: every non-empty line,
// whatever its length, becomes exactly one entry, less the CR that ends it;
// and a list of proper paths written and read back comes back unchanged.
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

// Lines split at every LF, each taken up to its first NUL, a CR at its end
// dropped unless it is a second byte; empty lines dropped.
std::vector<std::string> PlainParse(const std::string& bytes) {
  std::vector<std::string> entries;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(at, end - at);
    at = end + 1;
    line = line.substr(0, line.find('\0'));
    if (!line.empty() && line.back() == '\r' && !IsTrailByteAt(line.c_str(), line.size() - 1)) line.pop_back();
    if (!line.empty()) entries.push_back(line);
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

// What a path can be: no CR, LF or NUL, and no lead byte without its second
// byte at the end. Any length.
bool ProperPath(const std::string& path) {
  if (path.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
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
    if (entry.empty()) abort();
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
