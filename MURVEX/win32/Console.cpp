// The Windows console: text in code page 932 straight to the screen buffer,
// colours as console attributes, the title set directly (no command
// interpreter, so & | < > ^ % in a file name are just characters).
#include <windows.h>

#include <cstdio>
#include <string>

#include "Win32Platform.h"

WindowsConsole::WindowsConsole() : output_(GetStdHandle(STD_OUTPUT_HANDLE)) {}

void WindowsConsole::Write(const char* text, size_t length) { buffer_.append(text, length); }

void WindowsConsole::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(buffer_.size() - done > 65536 ? 65536 : buffer_.size() - done);
    if (!WriteFile(output_, buffer_.data() + done, chunk, &written, nullptr) || written == 0) break;
    done += written;
  }
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
