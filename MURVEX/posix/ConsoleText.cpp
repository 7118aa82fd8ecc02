// The terminal reads UTF-8: UTF-8 lines pass as they are, UTF-16 lines are
// encoded as UTF-8 here, and code page 932 lines go through iconv.
#include "ConsoleText.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "MonitorError.h"
#include "PosixPlatform.h"
#include "Utf8Forms.h"

namespace {

// Every unit or byte of a line of at most 65,535 makes at most three bytes.
char g_text[3 * 65536 + 4];

// The code page 932 converter, opened at the first line that needs it and
// kept for the life of the process; g_converterName is what iconv is asked
// for (a test hook changes it). g_converterTried: opening was attempted.
const char* g_converterName = "CP932";
iconv_t g_converter = reinterpret_cast<iconv_t>(-1);
bool g_converterTried = false;

bool HasMark(const unsigned char* at, size_t left) {
  return left >= 3 && at[0] == 0xEF && ((at[1] == 0xBB && at[2] == 0xBF) || (at[1] == 0xBF && at[2] == 0xBE));
}

bool IsShiftJisLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// Without a converter ASCII still passes; each other character is a space.
const char* AsciiOnly(const char* line, size_t length, size_t* converted) {
  size_t out = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(line[i]);
    if (byte < 0x80) {
      g_text[out++] = static_cast<char>(byte);
      continue;
    }
    if (IsShiftJisLead(byte) && i + 1 < length && static_cast<unsigned char>(line[i + 1]) >= 0x40) ++i;
    g_text[out++] = ' ';
  }
  g_text[out] = '\0';
  *converted = out;
  return g_text;
}

}  // namespace

void SetCodePageConverterName(const char* name) {
  if (g_converter != reinterpret_cast<iconv_t>(-1)) iconv_close(g_converter);
  g_converter = reinterpret_cast<iconv_t>(-1);
  g_converterTried = false;
  g_converterName = name;
}

const char* AnsiLineToConsole(const char* line, size_t length, size_t* converted) {
  size_t ascii = AsciiPrefix(line, length);
  *converted = length;
  if (ascii == length) return line;
  if (!g_converterTried) {
    g_converterTried = true;
    g_converter = iconv_open("UTF-8", g_converterName);
    if (g_converter == reinterpret_cast<iconv_t>(-1)) {
      WriteMonitorError("ASCII以外の文字は表示できません\n", nullptr);
    }
  }
  if (g_converter == reinterpret_cast<iconv_t>(-1)) return AsciiOnly(line, length, converted);
  memcpy(g_text, line, ascii);
  char* in = const_cast<char*>(line) + ascii;
  size_t inLeft = length - ascii;
  char* out = g_text + ascii;
  size_t outLeft = sizeof g_text - 1 - ascii;
  iconv(g_converter, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(g_converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || outLeft == 0) break;
    // A byte the code page cannot decode (or a cut double-byte character)
    // is shown, not dropped.
    *out++ = '?';
    --outLeft;
    ++in;
    --inLeft;
    iconv(g_converter, nullptr, nullptr, nullptr, nullptr);
  }
  *out = '\0';
  *converted = static_cast<size_t>(out - g_text);
  return g_text;
}

const char* Utf8LineToConsole(const char* line, size_t length, size_t* converted) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(line);
  size_t start = 0;
  // The mark, and a second one (or U+FFFE) right after it, as on Windows.
  if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) start = 3;
  if (HasMark(bytes + start, length - start)) start += 3;
  // Well-formed lines are handed on as they are.
  size_t at = start;
  for (;;) {
    at += AsciiPrefix(line + at, length - at);
    if (at == length) {
      *converted = length - start;
      return line + start;
    }
    uint32_t code = 0;
    size_t taken = NextUtf8Form(bytes + at, length - at, &code);
    if (code == kMalformedForm || code == kCutOffForm) break;
    at += taken;
  }
  size_t out = at - start;
  memcpy(g_text, line + start, out);
  while (at < length) {
    uint32_t code = 0;
    size_t taken = NextUtf8Form(bytes + at, length - at, &code);
    if (code == kMalformedForm || code == kCutOffForm) {
      g_text[out++] = ' ';
    } else {
      memcpy(g_text + out, line + at, taken);
      out += taken;
    }
    at += taken;
  }
  g_text[out] = '\0';
  *converted = out;
  return g_text;
}

const char* Utf16LineToConsole(const uint16_t* line, size_t count, size_t* converted) {
  size_t i = count > 0 && line[0] == 0xFEFF ? 1 : 0;
  size_t out = 0;
  for (; i < count; ++i) {
    uint32_t code = line[i];
    if (code >= 0xD800 && code <= 0xDFFF) {
      // A pair makes one character of four bytes; a lone half is a space.
      if (code <= 0xDBFF && i + 1 < count && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (line[++i] - 0xDC00u);
      } else {
        g_text[out++] = ' ';
        continue;
      }
    }
    if (code < 0x80) {
      g_text[out++] = static_cast<char>(code);
    } else if (code < 0x800) {
      g_text[out++] = static_cast<char>(0xC0 | code >> 6);
      g_text[out++] = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      g_text[out++] = static_cast<char>(0xE0 | code >> 12);
      g_text[out++] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
      g_text[out++] = static_cast<char>(0x80 | (code & 0x3F));
    } else {
      g_text[out++] = static_cast<char>(0xF0 | code >> 18);
      g_text[out++] = static_cast<char>(0x80 | (code >> 12 & 0x3F));
      g_text[out++] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
      g_text[out++] = static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  g_text[out] = '\0';
  *converted = out;
  return g_text;
}
