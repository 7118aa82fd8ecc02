#include "TextEncoding.h"

#include <cstdlib>
#include <cstring>

#include "AnsiConversion.h"
#include "MonitorError.h"
#include "MonitorPlatform.h"

TextEncoding g_textEncoding = TextEncoding::None;

namespace {

constexpr size_t kSampleSize = 1000000;

// 1 with *encoding set, -1 (cannot open: reported; or binary), 0 (no memory).
int Examine(const char* path, TextEncoding* encoding) {
  unsigned char* sample = static_cast<unsigned char*>(malloc(kSampleSize));
  if (sample == nullptr) return 0;
  FileSystem* files = CurrentPlatform().files;
  FileHandle file = files->OpenShared(path);
  if (file == kNoFile) {
    WriteMonitorError("[%s]はオープンできません\n", path);
    free(sample);
    return -1;
  }
  // Cleared first so that the mark tests on a short file see zeros.
  memset(sample, 0, kSampleSize);
  int64_t got = files->Read(file, sample, kSampleSize);
  files->Close(file);
  size_t count = got > 0 ? static_cast<size_t>(got) : 0;
  *encoding = count == 0 ? TextEncoding::Ansi : ClassifyTextBytes(sample, count);
  free(sample);
  return *encoding == TextEncoding::None ? -1 : 1;
}

}  // namespace

TextEncoding ClassifyTextBytes(const unsigned char* bytes, size_t count) {
  if (count == 0) return TextEncoding::Ansi;
  if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return TextEncoding::Utf8Bom;
  }
  if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return TextEncoding::Utf16LeBom;
  if (count > kSampleSize) count = kSampleSize;
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] == 0x00 || bytes[i] == 0xFF) return TextEncoding::None;
  }
  return TextEncoding::Ansi;
}

int DetectTextEncoding(const char* path) {
  TextEncoding encoding = TextEncoding::None;
  int verdict = Examine(path, &encoding);
  // Recorded once; later tests never change it.
  if (verdict == 1 && g_textEncoding == TextEncoding::None) g_textEncoding = encoding;
  return verdict;
}

int IsTextFile(const char* path) {
  TextEncoding encoding = TextEncoding::None;
  return Examine(path, &encoding);
}
