// Times one first listing to a console under wine (or Windows): starts
// MURVEX.exe on LOG in a console of its own and stops the clock when the
// screen shows the row of line LAST. Prints the milliseconds, and the
// processor time the monitor took meanwhile (its own threads only: not
// the console host's drawing).
//
//   x86_64-w64-mingw32-g++-posix -O2 -static -o console_listing.exe bench/console_listing.cpp
//   wine console_listing.exe MURVEX.exe LOG LAST
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Whether one of the last rows above the cursor starts with prefix.
bool ShowsRow(DWORD process, const std::string& prefix) {
  FreeConsole();
  if (!AttachConsole(process)) return false;
  HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  bool found = false;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(screen, &info)) {
    for (SHORT y = info.dwCursorPosition.Y; !found && y >= 0 && y + 4 > info.dwCursorPosition.Y; --y) {
      std::vector<CHAR_INFO> cells(info.dwSize.X);
      SMALL_RECT region = {0, y, static_cast<SHORT>(info.dwSize.X - 1), y};
      if (!ReadConsoleOutputA(screen, cells.data(), COORD{info.dwSize.X, 1}, COORD{0, 0}, &region)) break;
      std::string row;
      for (const CHAR_INFO& c : cells) row.push_back(c.Char.AsciiChar);
      found = row.compare(0, prefix.size(), prefix) == 0;
    }
  }
  if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
  FreeConsole();
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: console_listing MURVEX.exe LOG LAST\n");
    return 2;
  }
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "[%04ld]", std::atol(argv[3]));
  std::string command = std::string("\"") + argv[1] + "\" \"" + argv[2] + "\"";
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr, &startup,
                      &process)) {
    return 1;
  }
  bool shown = false;
  for (int attempt = 0; attempt < 12000 && !shown; ++attempt) {  // at most 10 minutes
    Sleep(50);
    shown = ShowsRow(process.dwProcessId, prefix);
  }
  QueryPerformanceCounter(&now);
  FILETIME created, exited, kernel, user;
  GetProcessTimes(process.hProcess, &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) { return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000; };
  TerminateProcess(process.hProcess, 9);
  WaitForSingleObject(process.hProcess, 5000);
  if (!shown) return 1;
  std::printf("%.0f %llu\n", 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart,
              ms(kernel) + ms(user));
  return 0;
}
