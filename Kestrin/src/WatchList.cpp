#include "WatchList.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "DoubleByteText.h"
#include "KeyedTextTable.h"
#include "MonitorPlatform.h"
#include "TextEncoding.h"
#include "Utf8Forms.h"

int g_keyCounter = 0;
int g_monitoringFlag = 0;

namespace {

// What the last parse read, for FormatWatchList: the file's bytes, the
// entries they gave, and whether they gave every byte (no NUL cut a line
// short, every line decoded). Set by ParseWatchList only.
std::string g_readBytes;
std::vector<std::string> g_readEntries;
bool g_readWhole = true;

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

void AppendUtf8(std::string& text, uint32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | code >> 6);
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | code >> 12);
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | code >> 18);
    text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16 units as UTF-8; false when a lone surrogate had to become U+FFFD.
bool UnitsToUtf8(const uint16_t* units, size_t count, std::string& text) {
  bool whole = true;
  for (size_t i = 0; i < count; ++i) {
    uint32_t code = units[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00u);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
      whole = false;
    }
    AppendUtf8(text, code);
  }
  return whole;
}

// The line's UTF-8 kept; false when a malformed form had to become U+FFFD.
bool CheckUtf8(std::string& line) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(line.data());
  std::string checked;
  bool whole = true;
  for (size_t at = 0; at < line.size();) {
    uint32_t code = 0;
    size_t taken = NextUtf8Form(bytes + at, line.size() - at, &code);
    if (code == kMalformedForm || code == kCutOffForm) {
      AppendUtf8(checked, 0xFFFD);
      whole = false;
    } else {
      checked.append(line, at, taken);
    }
    at += taken;
  }
  line.swap(checked);
  return whole;
}

// A code page 932 line as UTF-8; false (with what can be decoded, byte by
// byte) when it is not code page 932 throughout.
bool AnsiToUtf8(std::string& line) {
  std::vector<uint16_t> units(line.size() + 1);
  long made = AnsiToUnits(line.data(), line.size(), units.data());
  std::string text;
  if (made >= 0) {
    UnitsToUtf8(units.data(), static_cast<size_t>(made), text);
    line.swap(text);
    return true;
  }
  for (size_t at = 0; at < line.size();) {
    size_t length = IsLeadByte(static_cast<unsigned char>(line[at])) && at + 1 < line.size() ? 2 : 1;
    uint16_t unit[2];
    long one = AnsiToUnits(line.data() + at, length, unit);
    if (one > 0) {
      UnitsToUtf8(unit, static_cast<size_t>(one), text);
    } else {
      AppendUtf8(text, 0xFFFD);
    }
    at += length;
  }
  line.swap(text);
  return false;
}

// The entry the line names: as written when that names a file; otherwise
// without the blanks around it, and without a pair of double quotes around
// the whole (as Explorer's "Copy as path" puts them).
std::string EntryOf(const std::string& line) {
  if (NativeFileSystem().Exists(line.c_str()) == 0) return line;
  size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  std::string entry = line.substr(first, line.find_last_not_of(" \t") - first + 1);
  if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') entry = entry.substr(1, entry.size() - 2);
  return entry;
}

// Splits text at its line ends (LF, a CR before it or at the end dropped
// unless isText says it belongs to a character) and hands each line on.
template <typename Unit, typename Take>
void SplitLines(const Unit* text, size_t count, bool (*crIsText)(const Unit*, size_t), Take take) {
  size_t position = 0;
  while (position < count) {
    size_t end = position;
    while (end < count && text[end] != '\n') ++end;
    size_t length = end - position;
    // A NUL ends the text, as for any C string the table keeps.
    for (size_t i = 0; i < length; ++i) {
      if (text[position + i] == 0) {
        length = i;
        g_readWhole = false;
      }
    }
    if (length > 0 && text[position + length - 1] == '\r' && !crIsText(text + position, length - 1)) --length;
    take(text + position, length);
    position = end + 1;
  }
}

bool CrIsSecondByte(const char* line, size_t at) {
  std::string text(line, at + 1);
  return IsTrailByteAt(text.c_str(), at) != 0;
}

bool CrIsNeverText(const uint16_t*, size_t) { return false; }
bool CrIsNeverTextByte(const char*, size_t) { return false; }

}  // namespace

int ParseWatchList(const char* bytes, size_t size) {
  g_readBytes.assign(bytes, size);
  g_readEntries.clear();
  g_readWhole = true;
  auto add = [](std::string line) {
    std::string entry = EntryOf(line);
    // An empty line would start a monitor with no file.
    if (entry.empty()) return;
    g_readEntries.push_back(entry);
  };
  const unsigned char* marks = reinterpret_cast<const unsigned char*>(bytes);
  if (size >= 2 && marks[0] == 0xFF && marks[1] == 0xFE) {
    // UTF-16LE, as Notepad saves "Unicode".
    std::vector<uint16_t> units((size - 2) / 2);
    for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<uint16_t>(marks[2 + 2 * i] | marks[3 + 2 * i] << 8);
    if (size % 2 != 0) g_readWhole = false;
    SplitLines<uint16_t>(units.data(), units.size(), CrIsNeverText, [&add](const uint16_t* line, size_t length) {
      std::string text;
      if (!UnitsToUtf8(line, length, text)) g_readWhole = false;
      add(text);
    });
  } else {
    bool marked = size >= 3 && std::memcmp(bytes, kUtf8Mark, 3) == 0;
    const char* text = marked ? bytes + 3 : bytes;
    size_t count = marked ? size - 3 : size;
    bool utf8 = marked || ClassifyUnmarkedText(reinterpret_cast<const unsigned char*>(text), count) == TextEncoding::Utf8;
    // CR LF and LF alone are both line ends; in code page 932 a CR that is a
    // second byte is text.
    SplitLines<char>(text, count, utf8 ? CrIsNeverTextByte : CrIsSecondByte, [&add, utf8](const char* at, size_t length) {
      std::string line(at, length);
      if (!(utf8 ? CheckUtf8(line) : AnsiToUtf8(line))) g_readWhole = false;
      add(line);
    });
  }
  int count = 0;
  for (const std::string& entry : g_readEntries) TableInsert(DecimalKey(count++), entry.c_str());
  return count;
}

namespace {

// The entry in code page 932 when every character has that very form there
// (read back, it is the same entry); false otherwise.
bool ExactAnsi(const std::string& entry, std::string& ansi) {
  ansi.clear();
  std::vector<uint16_t> units;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(entry.data());
  for (size_t at = 0; at < entry.size();) {
    uint32_t code = 0;
    at += NextUtf8Form(bytes + at, entry.size() - at, &code);
    if (code > 0xFFFF) return false;  // also the malformed and cut-off forms
    char form[2];
    int made = UnitToAnsi(static_cast<uint16_t>(code), form);
    uint16_t back = 0;
    if (made == 0 || AnsiToUnits(form, static_cast<size_t>(made), &back) != 1 || back != code) return false;
    ansi.append(form, static_cast<size_t>(made));
  }
  return true;
}

}  // namespace

std::string FormatWatchList(int keyCounter) {
  std::vector<std::string> entries;
  for (int i = 0; i < keyCounter; ++i) {
    const char* path = TableFind(DecimalKey(i));
    if (path != nullptr) entries.push_back(path);
  }
  // A list read in part is given back as read while it is unchanged: its
  // file is never replaced by less than it held.
  if (!g_readWhole && entries == g_readEntries) return g_readBytes;
  std::string ansi;
  std::string bytes;
  bool fits = true;
  for (size_t i = 0; fits && i < entries.size(); ++i) {
    fits = ExactAnsi(entries[i], ansi);
    bytes += ansi + "\r\n";
  }
  // Code page 932 bytes that read as UTF-8 (half-width katakana can) would
  // come back as other names.
  const unsigned char* written = reinterpret_cast<const unsigned char*>(bytes.data());
  if (fits && ClassifyUnmarkedText(written, bytes.size()) != TextEncoding::Utf8) return bytes;
  // Some character has no code page 932 form: UTF-8 with its mark.
  bytes = kUtf8Mark;
  for (const std::string& entry : entries) bytes += entry + "\r\n";
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

// Paths are UTF-8: only ASCII letters fold, every other byte is compared
// exactly.
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
    RemoveFile(temporary.c_str());
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
