// DetectTextEncoding and IsTextFile over arbitrary file contents, unopenable
// files and failing reads: both give the verdict of the rules on the first
// bytes (marks, binary bytes, UTF-8 without a mark by its share of malformed
// forms, plain ASCII undecided), only DetectTextEncoding records it, and
// only the first time.
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

// Whether some continuation of a form that the end of the bytes cut off
// makes it strict UTF-8 of the length its lead announces.
bool Completable(const std::string& start, size_t need) {
  for (const char* ending : {"\x80", "\x80\x80", "\x80\x80\x80", "\x90\x80", "\x90\x80\x80", "\xA0\x80"}) {
    std::string whole = start + ending;
    std::vector<uint32_t> codes;
    if (whole.size() == need && StrictUtf8Codes(whole, &codes)) return true;
  }
  return false;
}

// Without a mark: the bytes are cut into forms (a lead and the continuation
// bytes after it, at most as many as it announces; any other high byte
// alone). UTF-8 when at least one strict multi-byte form and twenty for
// every malformed one; a last form that the end cut off counts neither way.
// Undecided without any malformed form, code page 932 otherwise.
TextEncoding ExpectedUnmarked(const std::string& sample) {
  size_t wellFormed = 0;
  size_t malformed = 0;
  for (size_t i = 0; i < sample.size();) {
    unsigned char lead = static_cast<unsigned char>(sample[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t need = lead >= 0xC0 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF7 ? 4 : 1;
    size_t have = 1;
    while (have < need && i + have < sample.size() && (static_cast<unsigned char>(sample[i + have]) & 0xC0) == 0x80) ++have;
    std::string form = sample.substr(i, have);
    std::vector<uint32_t> codes;
    if (need > 1 && have == need && StrictUtf8Codes(form, &codes)) {
      ++wellFormed;
    } else if (!(have < need && i + have == sample.size() && Completable(form, need))) {
      ++malformed;
    }
    i += have;
  }
  if (wellFormed > 0 && wellFormed >= 20 * malformed) return TextEncoding::Utf8;
  if (malformed == 0) return TextEncoding::Undecided;
  // Code page 932 only when every byte is a single one or a lead with its
  // trail (a lead that the end cuts off counts neither way).
  for (size_t i = 0; i < sample.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(sample[i]);
    if (byte <= 0x7F || (byte >= 0xA1 && byte <= 0xDF)) continue;
    if (!((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC))) return TextEncoding::Undecided;
    if (++i == sample.size()) break;
    unsigned char trail = static_cast<unsigned char>(sample[i]);
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return TextEncoding::Undecided;
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
  } else if (at(0) == 0xFE && at(1) == 0xFF) {
    *encoding = TextEncoding::Utf16BeBom;
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
