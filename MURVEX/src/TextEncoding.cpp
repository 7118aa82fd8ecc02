#include "TextEncoding.h"

#include <cstdlib>
#include <cstring>

#include "AnsiConversion.h"
#include "MonitorError.h"
#include "MonitorPlatform.h"
#include "Utf8Forms.h"

TextEncoding g_textEncoding = TextEncoding::None;

namespace {

// The encoding --encoding named, set once by the entry; None to detect.
TextEncoding g_forcedEncoding = TextEncoding::None;

constexpr size_t kSampleSize = 1000000;
constexpr size_t kUtf8FormsPerMalformed = 20;

// 1 with *encoding set, -1 (cannot open: reported when `report`), -2
// (looks binary), 0 (no memory).
int Examine(const char* path, TextEncoding* encoding, bool report = true) {
  unsigned char* sample = static_cast<unsigned char*>(malloc(kSampleSize));
  if (sample == nullptr) return 0;
  FileSystem* files = CurrentPlatform().files;
  FileHandle file = files->OpenShared(path);
  if (file == kNoFile) {
    if (report) WriteOpenError(path);
    free(sample);
    return -1;
  }
  // Cleared first so that the mark tests on a short file see zeros.
  memset(sample, 0, kSampleSize);
  int64_t got = files->Read(file, sample, kSampleSize);
  files->Close(file);
  size_t count = got > 0 ? static_cast<size_t>(got) : 0;
  *encoding = g_forcedEncoding != TextEncoding::None ? g_forcedEncoding : ClassifyTextBytes(sample, count);
  free(sample);
  return *encoding == TextEncoding::None ? -2 : 1;
}

// Whether the bytes are code page 932 as it is written: single bytes of
// ASCII and half-width katakana, lead bytes each with a trail byte (one
// cut off by the end counts neither way).
bool IsWellFormedShiftJis(const unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    unsigned char byte = bytes[i];
    if (byte < 0x80 || (byte >= 0xA1 && byte <= 0xDF)) continue;
    bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    if (!lead) return false;
    if (++i == count) return true;
    unsigned char trail = bytes[i];
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
  }
  return true;
}

}  // namespace

TextEncoding ClassifyTextBytes(const unsigned char* bytes, size_t count) {
  // An empty file is plain ASCII so far: the lines written to it decide.
  if (count == 0) return TextEncoding::Undecided;
  if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return TextEncoding::Utf8Bom;
  }
  if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return TextEncoding::Utf16LeBom;
  if (count >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return TextEncoding::Utf16BeBom;
  if (count > kSampleSize) count = kSampleSize;
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] == 0x00 || bytes[i] == 0xFF) return TextEncoding::None;
  }
  return ClassifyUnmarkedText(bytes, count);
}

TextEncoding ClassifyUnmarkedText(const unsigned char* bytes, size_t count) {
  size_t wellFormed = 0;
  size_t malformed = 0;
  for (size_t at = 0; at < count;) {
    at += AsciiPrefix(reinterpret_cast<const char*>(bytes) + at, count - at);
    if (at == count) break;
    uint32_t code = 0;
    at += NextUtf8Form(bytes + at, count - at, &code);
    if (code == kMalformedForm) {
      ++malformed;
    } else if (code != kCutOffForm) {
      ++wellFormed;
    }
  }
  // Real UTF-8 logs carry an odd bad byte (a cut write, a binary field);
  // code page 932 text forms valid multi-byte UTF-8 only now and then, far
  // fewer than one in twenty of its double-byte and half-width characters.
  if (wellFormed > 0 && wellFormed >= kUtf8FormsPerMalformed * malformed) return TextEncoding::Utf8;
  // Plain ASCII, or only a form cut off by the end, which the next bytes
  // may complete: nothing is decided yet. Nor by bytes that are not code
  // page 932 either (Latin-1, a binary field).
  return malformed != 0 && IsWellFormedShiftJis(bytes, count) ? TextEncoding::Ansi : TextEncoding::Undecided;
}

TextEncoding LineEncoding(const char* line, size_t count, TextEncoding& decision) {
  if (g_textEncoding != TextEncoding::Undecided) return g_textEncoding;
  if (decision != TextEncoding::None) return decision;
  TextEncoding verdict = ClassifyUnmarkedText(reinterpret_cast<const unsigned char*>(line), count);
  if (verdict != TextEncoding::Undecided) {
    decision = verdict;
  } else if (AsciiPrefix(line, count) < count) {
    // Decides nothing; read as UTF-8, nothing of it is taken into another character.
    return TextEncoding::Utf8;
  }
  return verdict;
}

void ForceTextEncoding(TextEncoding encoding) { g_forcedEncoding = encoding; }

TextEncoding ForcedTextEncoding() { return g_forcedEncoding; }

int DetectTextEncoding(const char* path) {
  TextEncoding encoding = TextEncoding::None;
  int verdict = Examine(path, &encoding);
  if (verdict == -2) verdict = -1;
  // Recorded at start only; a full listing decides again through
  // DetectTextEncodingAgain.
  if (verdict == 1 && g_textEncoding == TextEncoding::None) g_textEncoding = encoding;
  return verdict;
}

int DetectTextEncodingAgain(const char* path) {
  TextEncoding encoding = TextEncoding::None;
  // The pass that follows reports a file it cannot open.
  int verdict = Examine(path, &encoding, false);
  if (verdict == -2) encoding = TextEncoding::Ansi;  // looks binary now: still listed
  if (verdict != 1 && verdict != -2) return 0;
  g_textEncoding = encoding;
  return 1;
}

int IsTextFile(const char* path) {
  TextEncoding encoding = TextEncoding::None;
  int verdict = Examine(path, &encoding);
  return verdict == -2 ? -1 : verdict;
}
