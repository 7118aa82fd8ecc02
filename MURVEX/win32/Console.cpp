// The Windows console: to a console, text in UTF-16 with WriteConsoleW, so
// that it shows the same whatever the console's code page; to a file or a
// pipe, the bytes as they are (code page 932, scripts rely on them). Colours
// as console attributes, the title set directly (no command interpreter, so
// & | < > ^ % in a file name are just characters).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "AnsiConversion.h"
#include "ShownText.h"
#include "Utf8Forms.h"
#include "Win32Platform.h"
#include "WideText.h"

namespace {

// Text waits in the buffer for at most this many bytes, so the memory the
// console holds does not grow with the size of a listing.
constexpr size_t kBufferSize = 65536;
// Units per WriteConsoleW: a buffer's worth in one call (each call is a
// round trip to the console host).
constexpr size_t kConsoleChunk = kBufferSize;

// The console as the monitor found it, put back when the monitor ends: by
// Ctrl+C, Ctrl+Break or the window closing (the control handler, on a
// thread of its own) or by itself (the console's destructor).
// g_screenLock: held by each change of the screen and by the putting back,
// so neither sees the other half done. g_putBack: set once the console is as
// found; nothing is written after it.
CRITICAL_SECTION g_screenLock;
bool g_putBack = false;
HANDLE g_foundOutput = nullptr;
bool g_haveFoundAttribute = false;
WORD g_foundAttribute = 0;
std::wstring g_foundTitle;

// Holds g_screenLock for one change of the screen.
class ScreenTurn {
 public:
  ScreenTurn() { EnterCriticalSection(&g_screenLock); }
  ~ScreenTurn() { LeaveCriticalSection(&g_screenLock); }
  bool Over() const { return g_putBack; }
};

void PutConsoleBack() {
  ScreenTurn turn;
  if (turn.Over()) return;
  if (g_haveFoundAttribute) SetConsoleTextAttribute(g_foundOutput, g_foundAttribute);
  SetConsoleTitleW(g_foundTitle.c_str());
  g_putBack = true;
}

BOOL WINAPI OnConsoleEnding(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) PutConsoleBack();
  return FALSE;  // the system's handler then ends the process as usual
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

void WriteBytes(HANDLE output, const char* text, size_t length) {
  size_t done = 0;
  while (done < length) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(length - done > kBufferSize ? kBufferSize : length - done);
    if (!WriteFile(output, text + done, chunk, &written, nullptr) || written == 0) break;
    done += written;
  }
}

// Text of whole characters in codePage, to a console as UTF-16.
void WriteWide(HANDLE output, const char* text, size_t length, UINT codePage) {
  static std::wstring g_wide;  // the last write's units, kept to spare an allocation per flush
  if (length == 0) return;
  int units = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
  if (units <= 0) return;
  g_wide.resize(static_cast<size_t>(units));
  MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), &g_wide[0], units);
  size_t done = 0;
  while (done < g_wide.size()) {
    size_t chunk = std::min(g_wide.size() - done, kConsoleChunk);
    // A surrogate pair stays in one write.
    if (done + chunk < g_wide.size() && g_wide[done + chunk - 1] >= 0xD800 && g_wide[done + chunk - 1] <= 0xDBFF) {
      --chunk;
    }
    DWORD written = 0;
    if (!WriteConsoleW(output, g_wide.data() + done, static_cast<DWORD>(chunk), &written, nullptr) || written == 0) {
      break;
    }
    done += written;
  }
}

}  // namespace

bool OutputIsConsole() {
  static const bool console = IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
  return console;
}

WindowsConsole::WindowsConsole() : output_(GetStdHandle(STD_OUTPUT_HANDLE)), wide_(OutputIsConsole()) {
  buffer_.reserve(kBufferSize);
  InitializeCriticalSection(&g_screenLock);
  g_foundOutput = output_;
  CONSOLE_SCREEN_BUFFER_INFO info;
  g_haveFoundAttribute = GetConsoleScreenBufferInfo(output_, &info) != 0;
  if (g_haveFoundAttribute) g_foundAttribute = info.wAttributes;
  wchar_t title[1024] = {};
  GetConsoleTitleW(title, 1024);
  g_foundTitle = title;
  SetConsoleCtrlHandler(OnConsoleEnding, TRUE);
}

WindowsConsole::~WindowsConsole() {
  Flush();
  PutConsoleBack();
}

// The buffer goes out before it would overflow and after a Write that
// filled it, so a write to the console ends where a Write ended: a
// character is never cut in two.
void WindowsConsole::Write(const char* text, size_t length) {
  if (length == 0) return;
  if (buffer_.size() + length > kBufferSize) Flush();
  AppendShown(text, length);
  if (buffer_.size() >= kBufferSize) Flush();
}

void WindowsConsole::SetAttribute(int attribute) {
  Flush();  // earlier text keeps the colour it was written in
  ScreenTurn turn;
  if (!turn.Over()) SetConsoleTextAttribute(output_, static_cast<WORD>(attribute));
}

// Text as the screen shows it. Every control character but the tab is one
// space: a console acts on CR, BS and BEL, and one that processes escape
// sequences (Windows Terminal turns that on) on ESC and C1 controls, so the
// text shows and nothing else happens. On a console (UTF-8 here) a tab is
// spaces to the next multiple of eight columns of the line's text, and the
// listing's attribute is set back before a changed line's line feed: a
// console that scrolls fills the new row with the attribute in effect.
void WindowsConsole::AppendShown(const char* text, size_t length) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  bool numbering = rowStart_;
  bool endedRow = false;
  for (size_t i = 0; i < length;) {
    unsigned char unit = bytes[i];
    if (unit == '\n') {
      if (changing_ && wide_) {
        SetAttribute(listingAttribute_);
        changePending_ = true;
      }
      buffer_ += '\n';
      rowStart_ = true;
      endedRow = true;
      column_ = 0;
      ++i;
      continue;
    }
    if (changePending_) {
      SetAttribute(kColourChanged);
      changePending_ = false;
    }
    rowStart_ = false;
    if (unit == '\t' && wide_) {
      AppendTab(buffer_, &column_);
      ++i;
      continue;
    }
    if (unit < 0x80 || !wide_) {
      // Code page 932 to a file or a pipe: its bytes from 0x80 up are
      // characters, never controls.
      buffer_ += unit != '\t' && IsControlCode(unit) ? ' ' : static_cast<char>(unit);
      ++column_;
      ++i;
      continue;
    }
    uint32_t code = 0;
    size_t taken = NextUtf8Form(bytes + i, length - i, &code);
    if (IsControlCode(code)) {
      buffer_ += ' ';
      ++column_;
    } else {
      buffer_.append(text + i, taken);
      column_ += static_cast<size_t>(CharacterColumns(code));
    }
    i += taken;
  }
  // The line's text starts after its number.
  if (numbering && !endedRow) column_ = 0;
}

void WindowsConsole::Flush() {
  ScreenTurn turn;
  if (turn.Over()) return;
  if (wide_) {
    WriteWide(output_, buffer_.data(), buffer_.size(), CP_UTF8);
  } else {
    WriteBytes(output_, buffer_.data(), buffer_.size());
  }
  buffer_.clear();
}

void WindowsConsole::SetColour(int attribute) {
  changing_ = attribute == kColourChanged;
  changePending_ = false;
  if (!changing_) listingAttribute_ = attribute;
  SetAttribute(attribute);
}

// A name's control characters shown visibly, as in messages; the name is
// UTF-8, as every path inside the monitor.
void WindowsConsole::SetTitle(const char* title) {
  ScreenTurn turn;
  if (!turn.Over()) SetConsoleTitleW(WideFromUtf8(VisibleName(title).c_str()).c_str());
}

void WindowsConsole::Clear() {
  Flush();
  rowStart_ = true;
  column_ = 0;
  ScreenTurn turn;
  if (turn.Over()) return;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(output_, &info)) return;  // not a console (a pipe or file)
  DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  COORD origin = {0, 0};
  DWORD done = 0;
  FillConsoleOutputCharacterA(output_, ' ', cells, origin, &done);
  FillConsoleOutputAttribute(output_, info.wAttributes, cells, origin, &done);
  SetConsoleCursorPosition(output_, origin);
}

// Messages are UTF-8 (paths in them too): a console gets them whole in
// UTF-16, a file or pipe in code page 932 as before.
void WindowsConsole::WriteError(const char* text) {
  Flush();
  ScreenTurn turn;
  if (turn.Over()) return;
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (IsConsole(error)) {
    WriteWide(error, text, strlen(text), CP_UTF8);
    return;
  }
  size_t units = 0;
  uint16_t* wide = Utf8ToUtf16Alloc(text, &units);
  size_t bytes = 0;
  char* ansi = wide != nullptr ? Utf16ToAnsiAlloc(wide, &bytes) : nullptr;
  free(wide);
  if (ansi == nullptr) return;
  std::fputs(ansi, stderr);
  std::fflush(stderr);
  free(ansi);
}
