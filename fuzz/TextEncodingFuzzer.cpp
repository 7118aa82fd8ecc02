// DetectTextEncoding and IsTextFile over arbitrary file contents, unopenable
// files and failing reads: both give the verdict of the rules on the first
// bytes (marks, binary bytes, UTF-8 without a mark, plain ASCII undecided),
// only DetectTextEncoding records it, and only the first time.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "MemoryFiles.h"
#include "StrictUtf8.h"
#include "TextEncoding.h"

namespace {

constexpr size_t kSample = 1000000;

// Strict UTF-8 (StrictUtf8Codes); *wide: a form of more than one byte was
// seen.
bool StrictUtf8(const std::string& text, bool* wide) {
  std::vector<uint32_t> codes;
  if (!StrictUtf8Codes(text, &codes)) return false;
  for (uint32_t code : codes) *wide = *wide || code >= 0x80;
  return true;
}

// Without a mark: plain ASCII is undecided; UTF-8 when strict UTF-8 with a
// form of more than one byte, where a last form cut off by the end counts
// if some ending completes it (and is then not the form that makes it UTF-8).
TextEncoding ExpectedUnmarked(const std::string& sample) {
  bool high = false;
  for (char c : sample) high = high || static_cast<unsigned char>(c) >= 0x80;
  if (!high) return TextEncoding::Undecided;
  bool wide = false;
  if (StrictUtf8(sample, &wide)) return TextEncoding::Utf8;
  for (size_t cut = 1; cut <= 3 && cut <= sample.size(); ++cut) {
    std::string head = sample.substr(0, sample.size() - cut);
    std::string tail = sample.substr(sample.size() - cut);
    bool headWide = false;
    if (!StrictUtf8(head, &headWide) || !headWide) continue;
    for (const char* ending : {"\x80", "\x80\x80", "\x80\x80\x80", "\x90\x80", "\x90\x80\x80", "\xA0\x80"}) {
      bool ignored = false;
      std::string whole = tail + ending;
      unsigned char lead = static_cast<unsigned char>(tail[0]);
      size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
      if (whole.size() == need && StrictUtf8(whole, &ignored)) return TextEncoding::Utf8;
    }
  }
  return TextEncoding::Ansi;
}

// Marks first, then any 00 or FF byte among the bytes examined refuses.
int ExpectedVerdict(const std::string& bytes, TextEncoding* encoding) {
  std::string sample = bytes.substr(0, kSample);
  auto at = [&](size_t i) { return i < sample.size() ? static_cast<unsigned char>(sample[i]) : 0; };
  if (sample.empty()) {
    *encoding = TextEncoding::Undecided;
  } else if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    *encoding = TextEncoding::Utf8Bom;
  } else if (at(0) == 0xFF && at(1) == 0xFE) {
    *encoding = TextEncoding::Utf16LeBom;
  } else if (sample.find('\0') != std::string::npos || sample.find('\xFF') != std::string::npos) {
    return -1;
  } else {
    *encoding = ExpectedUnmarked(sample);
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
  int expected = files.refuseOpen ? -1 : failingRead ? (expectedEncoding = TextEncoding::Undecided, 1)
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
