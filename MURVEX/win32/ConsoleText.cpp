// The monitor's text on Windows. To a file or a pipe: code page 932, lines
// of code page 932 as read, UTF-8 and UTF-16 lines through the converters.
// To a console: UTF-8, which the console writes as UTF-16, so that no
// character is lost to the code page; code page 932 lines are decoded as the
// console itself would decode them.
#include "ConsoleText.h"

#include <windows.h>

#include <cstring>

#include "AnsiConversion.h"
#include "Utf8Forms.h"
#include "Win32Platform.h"

namespace {

// Shared by the three conversions to the console's UTF-8 (one line at a
// time, overwritten by the next): the line's units, and its text, where each
// unit of a line of at most 65,535 makes at most three bytes.
wchar_t g_units[65536];
char g_text[3 * 65536 + 4];

bool StartsWithMark(const unsigned char* at, size_t left) {
  return left >= 3 && at[0] == 0xEF && ((at[1] == 0xBB && at[2] == 0xBF) || (at[1] == 0xBF && at[2] == 0xBE));
}

const char* UnitsAsUtf8(size_t count, size_t* converted) {
  int made = count == 0 ? 0
                        : WideCharToMultiByte(CP_UTF8, 0, g_units, static_cast<int>(count), g_text,
                                              static_cast<int>(sizeof g_text - 1), nullptr, nullptr);
  if (made < 0) made = 0;
  g_text[made] = '\0';
  *converted = static_cast<size_t>(made);
  return g_text;
}

}  // namespace

const char* AnsiLineToConsole(const char* line, size_t length, size_t* converted) {
  *converted = length;
  if (!OutputIsConsole() || AsciiPrefix(line, length) == length) return line;
  int units = MultiByteToWideChar(932, 0, line, static_cast<int>(length), g_units, 65536);
  return UnitsAsUtf8(units > 0 ? static_cast<size_t>(units) : 0, converted);
}

const char* Utf8LineToConsole(const char* line, size_t length, size_t* converted) {
  if (!OutputIsConsole()) {
    const char* text = Utf8LineToAnsi(line);
    *converted = strlen(text);
    return text;
  }
  // The line as it is, without its mark (and a second one right after it,
  // as the code page's converter drops), each malformed form a space.
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(line);
  size_t start = length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
  if (StartsWithMark(bytes + start, length - start)) start += 3;
  size_t out = 0;
  bool copying = false;  // a malformed form was met: the text is built in g_text
  for (size_t at = start; at < length;) {
    size_t ascii = AsciiPrefix(line + at, length - at);
    if (copying) memcpy(g_text + out, line + at, ascii);
    out += ascii;
    at += ascii;
    if (at == length) break;
    uint32_t code = 0;
    size_t taken = NextUtf8Form(bytes + at, length - at, &code);
    bool broken = code == kMalformedForm || code == kCutOffForm;
    if (broken && !copying) {
      memcpy(g_text, line + start, out);
      copying = true;
    }
    if (broken) {
      g_text[out++] = ' ';
    } else {
      if (copying) memcpy(g_text + out, line + at, taken);
      out += taken;
    }
    at += taken;
  }
  *converted = out;
  if (!copying) return line + start;
  g_text[out] = '\0';
  return g_text;
}

const char* Utf16LineToConsole(const uint16_t* line, size_t count, size_t* converted) {
  if (!OutputIsConsole()) {
    const char* text = Utf16LineToAnsi(line);
    *converted = strlen(text);
    return text;
  }
  size_t out = 0;
  for (size_t i = count > 0 && line[0] == 0xFEFF ? 1 : 0; i < count; ++i) {
    uint16_t unit = line[i];
    bool high = unit >= 0xD800 && unit <= 0xDBFF;
    bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < count && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF) {
      g_units[out++] = static_cast<wchar_t>(unit);
      g_units[out++] = static_cast<wchar_t>(line[++i]);
    } else {
      g_units[out++] = high || low ? L' ' : static_cast<wchar_t>(unit);  // a lone half is a space
    }
  }
  return UnitsAsUtf8(out, converted);
}

// The messages are the system's Japanese texts, which name no reason.
std::string OpenFailureReason(const char*) { return std::string(); }

// Messages stay UTF-8 to the console's WriteError, which knows where they go.
std::string MessageToConsole(const std::string& utf8) { return utf8; }
