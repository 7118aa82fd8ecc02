// DetectTextEncoding and IsTextFile over arbitrary file contents, unopenable
// files and failing reads: both give the verdict of the rules on the first
// bytes, only DetectTextEncoding records it, and only the first time.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "MemoryFiles.h"
#include "TextEncoding.h"

namespace {

constexpr size_t kSample = 1000000;

// Marks first, then any 00 or FF byte among the bytes examined refuses.
int ExpectedVerdict(const std::string& bytes, TextEncoding* encoding) {
  std::string sample = bytes.substr(0, kSample);
  auto at = [&](size_t i) { return i < sample.size() ? static_cast<unsigned char>(sample[i]) : 0; };
  if (sample.empty()) {
    *encoding = TextEncoding::Ansi;
  } else if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    *encoding = TextEncoding::Utf8Bom;
  } else if (at(0) == 0xFF && at(1) == 0xFE) {
    *encoding = TextEncoding::Utf16LeBom;
  } else if (sample.find('\0') != std::string::npos || sample.find('\xFF') != std::string::npos) {
    return -1;
  } else {
    *encoding = TextEncoding::Ansi;
  }
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  MemoryPlatform platform = FreshMemoryPlatform();
  MemoryFiles& files = platform.files;
  SilentConsole& console = platform.console;

  // Every test costs a cleared 1,000,000-byte buffer, so the check that a
  // verdict is recorded only once runs now and then.
  bool again = input.ConsumeIntegralInRange<int>(0, 7) == 0;
  files.refuseOpen = input.ConsumeIntegralInRange<int>(0, 15) == 0;
  bool failingRead = input.ConsumeIntegralInRange<int>(0, 15) == 0;
  // Long files: the tail beyond the examined bytes must not count.
  size_t padding = input.ConsumeIntegralInRange<int>(0, 7) == 0 ? kSample - input.ConsumeIntegralInRange<size_t>(0, 4) : 0;
  files.bytes = input.ConsumeRemainingBytesAsString();
  if (padding > 0) files.bytes = std::string(files.bytes.substr(0, 4)) + std::string(padding, 'a') + files.bytes;
  files.failFrom = failingRead ? 0 : SIZE_MAX;
  files.statusSize = static_cast<int64_t>(files.bytes.size());

  TextEncoding expectedEncoding = TextEncoding::None;
  int expected = files.refuseOpen ? -1 : failingRead ? (expectedEncoding = TextEncoding::Ansi, 1)
                                                     : ExpectedVerdict(files.bytes, &expectedEncoding);

  g_textEncoding = TextEncoding::None;
  int dropped = IsTextFile("f");
  if (dropped != expected || g_textEncoding != TextEncoding::None) abort();
  if (console.errors != (files.refuseOpen ? 1 : 0)) abort();  // only an unopenable file is reported
  int detected = DetectTextEncoding("f");
  if (detected != expected) abort();
  if (g_textEncoding != (expected == 1 ? expectedEncoding : TextEncoding::None)) abort();
  if (files.opens != files.closes) abort();
  if (!again) return 0;
  // Recorded once: a later verdict on other bytes changes nothing.
  TextEncoding recorded = g_textEncoding;
  files.bytes = "\xFF\xFE";
  files.refuseOpen = false;
  files.failFrom = SIZE_MAX;
  if (DetectTextEncoding("f") != 1) abort();
  if (recorded != TextEncoding::None && g_textEncoding != recorded) abort();
  return 0;
}
