// The watch list loader over arbitrary file bytes: every entry is
// non-empty, well-formed UTF-8; and a list of proper paths written and read
// back comes back unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KeyedTextTable.h"
#include "Utf8Forms.h"
#include "WatchList.h"

namespace {

bool WellFormed(const std::string& text) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t at = 0; at < text.size();) {
    uint32_t code = 0;
    at += NextUtf8Form(bytes + at, text.size() - at, &code);
    if (code == kMalformedForm || code == kCutOffForm) return false;
  }
  return true;
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

// What a path can be: no CR, LF or NUL, no blank at either end, not wrapped
// in a pair of double quotes (reading takes those off).
bool ProperPath(const std::string& path) {
  if (path.empty() || path.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
  if (path.front() == ' ' || path.front() == '\t' || path.back() == ' ' || path.back() == '\t') return false;
  return !(path.size() >= 2 && path.front() == '"' && path.back() == '"');
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
  for (const std::string& entry : entries) {
    if (entry.empty() || !WellFormed(entry)) abort();
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
