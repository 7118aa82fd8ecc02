// The Windows console: text in code page 932 straight to the screen buffer,
// colours as console attributes, the title set directly (no command
// interpreter, so & | < > ^ % in a file name are just characters).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "Win32Platform.h"

namespace {

// Text waits in the buffer for at most this many bytes, so the memory the
// console holds does not grow with the size of a listing.
constexpr size_t kBufferSize = 65536;

void WriteOut(void* output, const char* text, size_t length) {
  size_t done = 0;
  while (done < length) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(length - done > kBufferSize ? kBufferSize : length - done);
    if (!WriteFile(output, text + done, chunk, &written, nullptr) || written == 0) break;
    done += written;
  }
}

}  // namespace

WindowsConsole::WindowsConsole() : output_(GetStdHandle(STD_OUTPUT_HANDLE)) { buffer_.reserve(kBufferSize); }

// The buffer goes out before it would overflow, so a write to the console
// ends where a Write ended: a double-byte character is never cut in two.
void WindowsConsole::Write(const char* text, size_t length) {
  if (buffer_.size() + length > kBufferSize) Flush();
  if (length >= kBufferSize) {
    std::string shown(text, length);
    std::replace(shown.begin(), shown.end(), '\r', ' ');
    WriteOut(output_, shown.data(), length);
    return;
  }
  size_t start = buffer_.size();
  buffer_.append(text, length);
  // The console acts on a carriage return: the rest of the line would be
  // written over its start and its number.
  std::replace(buffer_.begin() + static_cast<std::ptrdiff_t>(start), buffer_.end(), '\r', ' ');
}

void WindowsConsole::Flush() {
  WriteOut(output_, buffer_.data(), buffer_.size());
  buffer_.clear();
}

void WindowsConsole::SetColour(int attribute) {
  Flush();  // earlier text keeps the colour it was written in
  SetConsoleTextAttribute(output_, static_cast<WORD>(attribute));
}

void WindowsConsole::SetTitle(const char* title) { SetConsoleTitleA(title); }

void WindowsConsole::Clear() {
  Flush();
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(output_, &info)) return;  // not a console (a pipe or file)
  DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  COORD origin = {0, 0};
  DWORD done = 0;
  FillConsoleOutputCharacterA(output_, ' ', cells, origin, &done);
  FillConsoleOutputAttribute(output_, info.wAttributes, cells, origin, &done);
  SetConsoleCursorPosition(output_, origin);
}

void WindowsConsole::WriteError(const char* text) {
  Flush();
  std::fputs(text, stderr);
  std::fflush(stderr);
}
