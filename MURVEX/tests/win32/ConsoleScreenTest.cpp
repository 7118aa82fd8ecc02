// The real MURVEX.exe in a console of its own: the test attaches to that
// console and reads back its screen (characters and colours) and its title.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Cell {
  std::string text;
  std::vector<WORD> attributes;
};

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// How a console of the test's own looks before the monitor runs in it.
constexpr wchar_t kSharedTitle[] = L"test console";
constexpr WORD kSharedAttribute = 0x07;

std::wstring Wide(const std::string& ansi) {
  wchar_t wide[MAX_PATH * 2] = {};
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, MAX_PATH * 2);
  return wide;
}

class MonitorInConsole {
 public:
  // codePage, when given, is the console's output code page before the
  // monitor runs (as after chcp): the console is then made here and shared.
  explicit MonitorInConsole(const std::string& file, UINT codePage = 0) : MonitorInConsole(Wide(file), codePage) {}
  explicit MonitorInConsole(const std::wstring& file, UINT codePage = 0) {
    std::wstring command = L"\"" + Wide(ProgramFolder()) + L"MURVEX.exe\" \"" + file + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    DWORD flags = CREATE_NEW_CONSOLE;
    HANDLE screen = INVALID_HANDLE_VALUE;
    if (codePage != 0) {
      FreeConsole();
      SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
      codePageSet_ = AllocConsole() && SetConsoleOutputCP(codePage);
      screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
      SetConsoleTitleW(kSharedTitle);
      SetConsoleTextAttribute(screen, kSharedAttribute);
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdOutput = screen;
      startup.hStdError = screen;
      flags = 0;
    }
    started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, codePage != 0, flags, nullptr, nullptr,
                              &startup, &process_) != 0;
    if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
  }
  bool CodePageSet() const { return codePageSet_; }
  ~MonitorInConsole() {
    if (!started_) return;
    FreeConsole();
    TerminateProcess(process_.hProcess, 9);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  bool Started() const { return started_; }

  // The exit code once the monitor has ended by itself within `ms`; -1 if not.
  long WaitForExit(DWORD ms) {
    if (!started_ || WaitForSingleObject(process_.hProcess, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
  }

  // Screen rows (text and attributes) and title of the monitor's console.
  bool Read(std::vector<Cell>* rows, std::string* title) {
    FreeConsole();
    if (!AttachConsole(process_.dwProcessId)) return false;
    HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (screen == INVALID_HANDLE_VALUE) return false;
    CONSOLE_SCREEN_BUFFER_INFO info;
    bool ok = GetConsoleScreenBufferInfo(screen, &info) != 0;
    rows->clear();
    for (SHORT y = 0; ok && y <= info.dwCursorPosition.Y; ++y) {
      std::vector<CHAR_INFO> cells(info.dwSize.X);
      COORD size = {info.dwSize.X, 1};
      SMALL_RECT region = {0, y, static_cast<SHORT>(info.dwSize.X - 1), y};
      if (!ReadConsoleOutputA(screen, cells.data(), size, COORD{0, 0}, &region)) break;
      Cell row;
      for (const CHAR_INFO& c : cells) {
        row.text.push_back(c.Char.AsciiChar);
        row.attributes.push_back(c.Attributes);
      }
      rows->push_back(row);
    }
    char text[512] = {};
    GetConsoleTitleA(text, sizeof text);
    *title = text;
    CloseHandle(screen);
    FreeConsole();
    return ok;
  }

  // The console's title as UTF-16 (empty when it cannot be read).
  std::wstring WideTitle() {
    wchar_t text[512] = {};
    FreeConsole();
    if (AttachConsole(process_.dwProcessId)) GetConsoleTitleW(text, 512);
    FreeConsole();
    return text;
  }

  // Waits (at most 30 s) for a row starting with `prefix`, read as UTF-16:
  // double-byte characters read right only so; the second cell of a
  // full-width character is skipped.
  bool WaitForWideRow(const std::wstring& prefix) {
    for (int attempt = 0; attempt < 300; ++attempt) {
      // A console of this test's own outlives the monitor: its last words stay readable.
      if (!codePageSet_) FreeConsole();
      if (codePageSet_ || AttachConsole(process_.dwProcessId)) {
        HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        CONSOLE_SCREEN_BUFFER_INFO info;
        bool found = false;
        if (screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(screen, &info)) {
          for (SHORT y = 0; !found && y <= info.dwCursorPosition.Y; ++y) {
            std::vector<CHAR_INFO> cells(info.dwSize.X);
            SMALL_RECT region = {0, y, static_cast<SHORT>(info.dwSize.X - 1), y};
            if (!ReadConsoleOutputW(screen, cells.data(), COORD{info.dwSize.X, 1}, COORD{0, 0}, &region)) break;
            std::wstring row;
            for (const CHAR_INFO& c : cells) {
              if (!(c.Attributes & COMMON_LVB_TRAILING_BYTE)) row.push_back(c.Char.UnicodeChar);
            }
            found = row.compare(0, prefix.size(), prefix) == 0;
          }
        }
        if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
        if (!codePageSet_) FreeConsole();
        if (found) return true;
      }
      Sleep(100);
    }
    return false;
  }

  // Whether the rows on view hold a numbered line.
  bool ShowsNumberedRow() {
    FreeConsole();
    if (!AttachConsole(process_.dwProcessId)) return false;
    HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    bool shown = false;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(screen, &info)) {
      SMALL_RECT region = info.srWindow;
      COORD size = {static_cast<SHORT>(region.Right - region.Left + 1), static_cast<SHORT>(region.Bottom - region.Top + 1)};
      std::vector<CHAR_INFO> cells(static_cast<size_t>(size.X) * size.Y);
      if (ReadConsoleOutputA(screen, cells.data(), size, COORD{0, 0}, &region)) {
        for (size_t at = 0; at + 1 < cells.size() && !shown; at += size.X) {
          shown = cells[at].Char.AsciiChar == '[' && isdigit(static_cast<unsigned char>(cells[at + 1].Char.AsciiChar));
        }
      }
    }
    if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
    FreeConsole();
    return shown;
  }

  // Waits (at most 30 s, wine starts consoles slowly) for a row starting with
  // `prefix`; gives its first attribute.
  bool WaitForRow(const std::string& prefix, WORD* attribute, std::string* title) {
    for (int attempt = 0; attempt < 300; ++attempt) {
      std::vector<Cell> rows;
      if (Read(&rows, title)) {
        for (const Cell& row : rows) {
          if (row.text.compare(0, prefix.size(), prefix) == 0) {
            *attribute = row.attributes[0];
            return true;
          }
        }
      }
      Sleep(100);
    }
    return false;
  }

 private:
  bool started_ = false;
  bool codePageSet_ = false;
  PROCESS_INFORMATION process_ = {};
};

std::string Utf8Of(const std::wstring& wide) {
  char text[MAX_PATH * 4] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
  return text;
}

std::string TempFile(const char* name) {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + name;
}

void WriteBytes(const std::string& path, const char* bytes, const char* mode) {
  FILE* file = std::fopen(path.c_str(), mode);
  ASSERT_NE(file, nullptr);
  std::fputs(bytes, file);
  std::fclose(file);
}

// The first listing in white, appended lines highlighted. A carriage return
// inside a line and every other control character (ESC, BEL) are one space
// each, so a console that processes escape sequences does nothing with them;
// tabs line up from the start of the line's text and a changed line is
// highlighted across them. (Wine fills a row it scrolls in with the default
// attribute, where Windows takes the one in effect: the attribute set back
// before a line feed cannot be seen here.)
TEST(ConsoleScreenTest, ListsInWhiteTitlesWithTheNameAndHighlightsAppendedLines) {
  std::string path = TempFile("screen & test.log");
  WriteBytes(path, "alpha\r\nbeta\r\na\tb\r\n", "wb");
  MonitorInConsole monitor(path);
  ASSERT_TRUE(monitor.Started());
  WORD attribute = 0;
  std::string title;
  ASSERT_TRUE(monitor.WaitForRow("[0002]beta", &attribute, &title));
  EXPECT_EQ(attribute, 15);
  EXPECT_EQ(title, "screen & test.log");
  ASSERT_TRUE(monitor.WaitForRow("[0003]a       b ", &attribute, &title));
  WriteBytes(path, "gamma\r\n", "ab");
  ASSERT_TRUE(monitor.WaitForRow("[0004]gamma", &attribute, &title));
  EXPECT_EQ(attribute, 95);
  WriteBytes(path, "downloading  10%\rdownloading 100%\r\ndone\r\n\x1b[31mred\x1b[0m\x07!\r\n", "ab");
  ASSERT_TRUE(monitor.WaitForRow("[0005]downloading  10% downloading 100% ", &attribute, &title));
  ASSERT_TRUE(monitor.WaitForRow("[0006]done ", &attribute, &title));
  ASSERT_TRUE(monitor.WaitForRow("[0007] [31mred [0m ! ", &attribute, &title));
  WriteBytes(path, "xy\tz\r\n", "ab");
  ASSERT_TRUE(monitor.WaitForRow("[0008]xy      z ", &attribute, &title));
  std::vector<Cell> rows;
  ASSERT_TRUE(monitor.Read(&rows, &title));
  ASSERT_GE(rows.size(), 2u);
  const Cell& changed = rows[rows.size() - 2];
  ASSERT_EQ(changed.text.compare(0, 15, "[0008]xy      z"), 0) << changed.text;
  for (size_t i = 0; i < 15; ++i) EXPECT_EQ(changed.attributes[i], 95) << "column " << i;
  std::remove(path.c_str());
}

// An unbuffered writer writes each line in several writes while the monitor
// reads: with its output in a file, every line is there exactly once, whole,
// in order (a relisting would repeat lines from [0001]).
TEST(ConsoleScreenTest, AnUnbufferedWriterInPiecesShowsEveryLineOnceWholeInOrder) {
  std::string path = TempFile("murvex-pieces.log");
  std::string out = TempFile("murvex-pieces.out");
  WriteBytes(path, "start\r\n", "wb");
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(output, INVALID_HANDLE_VALUE);
  std::string command = "\"" + ProgramFolder() + "MURVEX.exe\" \"" + path + "\"";
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &startup, &process));
  CloseHandle(output);
  // The listing of the output so far, once it holds `size` bytes (at most
  // 60 s: wine starts programs slowly).
  auto outputOf = [&out](size_t size) {
    std::string got;
    for (int attempt = 0; attempt < 600 && got.size() < size; ++attempt) {
      Sleep(100);
      std::ifstream in(out, std::ios::binary);
      got.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return got;
  };
  // The writer starts once the first listing, which shows the file as
  // found, is out.
  std::string expected = "[0001]start\n";
  ASSERT_EQ(outputOf(expected.size()), expected);
  HANDLE log = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(log, INVALID_HANDLE_VALUE);
  for (int i = 2; i <= 2000; ++i) {
    std::string number = std::to_string(i);
    std::string end = " done in " + std::to_string(i % 13) + (i % 100 == 0 ? " ms\rdone\r\n" : " ms\r\n");
    for (const std::string& piece : {std::string("request "), number, end}) {
      DWORD written = 0;
      ASSERT_TRUE(WriteFile(log, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr));
      if (i % 4 == 0) Sleep(1);  // the writer's own pace, so that passes meet lines half written
    }
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "[%04d]", i);
    std::string shown = end.substr(0, end.size() - 2) + "\n";
    std::replace(shown.begin(), shown.end(), '\r', ' ');
    expected += prefix + ("request " + number) + shown;
  }
  CloseHandle(log);
  std::string got = outputOf(expected.size());
  TerminateProcess(process.hProcess, 9);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  ASSERT_EQ(got, expected) << "first difference at byte "
                           << std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first - got.begin();
  std::remove(path.c_str());
  std::remove(out.c_str());
}

// Each log's lines as the console shows them, whatever its code page: the
// screen holds UTF-16, so nothing is left to the code page 932 conversion.
struct ShownLog {
  const char* name;
  UINT codePage;  // the console's, 0 for the one it starts with
  const char* bytes;
  std::vector<std::wstring> rows;
};

TEST(ConsoleScreenTest, ShowsEveryCharacterOfTheLogInAnyConsoleCodePage) {
  const ShownLog logs[] = {
      // "ログ開始" and "エラー: 接続できません" in UTF-8, no mark.
      {"murvex-utf8.log", 0,
       "\xE3\x83\xAD\xE3\x82\xB0\xE9\x96\x8B\xE5\xA7\x8B\r\n"
       "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC: \xE6\x8E\xA5\xE7\xB6\x9A\xE3\x81\xA7\xE3\x81\x8D"
       "\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\r\n",
       {L"[0001]\u30ED\u30B0\u958B\u59CB ", L"[0002]\u30A8\u30E9\u30FC: \u63A5\u7D9A\u3067\u304D\u307E\u305B\u3093 "}},
      // Characters code page 932 lacks: Latin letters with marks, Korean,
      // simplified Chinese, the euro and yen signs, double-line box drawing.
      {"murvex-utf8-wide.log", 0,
       "caf\xC3\xA9, na\xC3\xAFve, M\xC3\xBCller, Stra\xC3\x9F" "e\r\n"
       "\xEB\xA1\x9C\xEA\xB7\xB8 \xE7\xBD\x91\xE7\xBB\x9C\xE8\xBF\x9E\xE6\x8E\xA5\xE5\xA4\xB1\xE8\xB4\xA5\r\n"
       "\xE2\x82\xAC" "5 \xC2\xA5" "5 \xE2\x95\x94\xE2\x95\x90\xE2\x95\x97\r\n",
       {L"[0001]caf\u00E9, na\u00EFve, M\u00FCller, Stra\u00DFe ", L"[0002]\uB85C\uADF8 \u7F51\u7EDC\u8FDE\u63A5\u5931\u8D25 ",
        L"[0003]\u20AC" L"5 \u00A5" L"5 \u2554\u2550\u2557 "}},
      // Shift-JIS in a UTF-8 console: second bytes equal to the backslash
      // (ソ表), an NEC extension (①), an IBM extension (髙).
      {"murvex-sjis.log", 65001, "\x83\x5C\x95\x5C \x87\x40 \xFB\xFC\r\n",
       {L"[0001]\u30BD\u8868 \u2460 \u9AD9 "}},
  };
  for (const ShownLog& log : logs) {
    std::string path = TempFile(log.name);
    WriteBytes(path, log.bytes, "wb");
    MonitorInConsole monitor(path, log.codePage);
    ASSERT_TRUE(monitor.Started());
    if (log.codePage != 0) ASSERT_TRUE(monitor.CodePageSet()) << log.name;
    for (const std::wstring& row : log.rows) EXPECT_TRUE(monitor.WaitForWideRow(row)) << log.name;
    std::remove(path.c_str());
  }
}

// Each name reaches its own file, not one the code page would best-fit it
// to (café to cafe), and titles the console as it is.
TEST(ConsoleScreenTest, WatchesTheFileOfItsUnicodeNameAndTitlesTheConsoleWithIt) {
  std::wstring folder = Wide(TempFile(""));
  HANDLE other = CreateFileW((folder + L"cafe.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(other, "other file\r\n", 12, &written, nullptr);
  CloseHandle(other);
  for (const wchar_t* name : {L"caf\u00E9.log", L"\uB85C\uADF8.log", L"\u9519\u8BEF\u65E5\u5FD7.log", L"app\U0001F525.log"}) {
    std::wstring path = folder + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    WriteFile(file, "this file\r\n", 11, &written, nullptr);
    CloseHandle(file);
    {
      MonitorInConsole monitor(path);
      ASSERT_TRUE(monitor.Started());
      EXPECT_TRUE(monitor.WaitForWideRow(L"[0001]this file ")) << Utf8Of(name);
      EXPECT_EQ(monitor.WideTitle(), name) << Utf8Of(name);
    }
    DeleteFileW(path.c_str());
  }
  DeleteFileW((folder + L"cafe.log").c_str());
}

// Ended by Ctrl+C, the monitor leaves the console it ran in with the colour
// and title it found, not its bright green and the file's name. The keys
// are typed into the console (wine's GenerateConsoleCtrlEvent fails).
TEST(ConsoleScreenTest, CtrlCPutsTheConsolesColourAndTitleBack) {
  std::string path = TempFile("murvex-ctrl.log");
  WriteBytes(path, "alpha\r\n", "wb");
  // The event reaches this test too, which shares the console.
  auto swallow = [](DWORD) -> BOOL { return TRUE; };
  SetConsoleCtrlHandler(swallow, TRUE);
  {
    MonitorInConsole monitor(path, 932);
    ASSERT_TRUE(monitor.Started());
    ASSERT_TRUE(monitor.WaitForWideRow(L"[0001]alpha "));
    HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    INPUT_RECORD keys[2] = {};
    for (int i = 0; i < 2; ++i) {
      keys[i].EventType = KEY_EVENT;
      keys[i].Event.KeyEvent.bKeyDown = i == 0;
      keys[i].Event.KeyEvent.wRepeatCount = 1;
      keys[i].Event.KeyEvent.wVirtualKeyCode = 'C';
      keys[i].Event.KeyEvent.uChar.UnicodeChar = 3;
      keys[i].Event.KeyEvent.dwControlKeyState = LEFT_CTRL_PRESSED;
    }
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputW(input, keys, 2, &written));
    CloseHandle(input);
    EXPECT_NE(monitor.WaitForExit(30000), -1);
    HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    EXPECT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
    EXPECT_EQ(info.wAttributes, kSharedAttribute);
    CloseHandle(screen);
    wchar_t title[256] = {};
    GetConsoleTitleW(title, 256);
    EXPECT_STREQ(title, kSharedTitle);
  }
  SetConsoleCtrlHandler(swallow, FALSE);
  std::remove(path.c_str());
}

// The message's Japanese text reaches the console whole, in its code page
// or another.
TEST(ConsoleScreenTest, AMessageOnStandardErrorShowsWholeOnTheConsole) {
  std::string path = TempFile("murvex-locked.log");
  WriteBytes(path, "alpha\r\n", "wb");
  HANDLE locked = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  wchar_t widePath[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
  for (UINT codePage : {932u, 65001u}) {
    MonitorInConsole monitor(path, codePage);
    ASSERT_TRUE(monitor.Started());
    ASSERT_TRUE(monitor.CodePageSet());
    EXPECT_EQ(monitor.WaitForExit(30000), 1);
    // "[path]はオープンできません"
    EXPECT_TRUE(monitor.WaitForWideRow(L"[" + std::wstring(widePath) +
                                       L"]\u306F\u30AA\u30FC\u30D7\u30F3\u3067\u304D\u307E\u305B\u3093 "))
        << codePage;
  }
  CloseHandle(locked);
  std::remove(path.c_str());
}

// The monitor holds the file open from its first line to its last, so a
// file that cannot be opened without sharing is still being listed.
bool StillBeingRead(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(file);
  return false;
}

// A listing that takes seconds (47 MB) shows its lines as they are read, not
// all at its end.
TEST(ConsoleScreenTest, LongListingAppearsOnTheConsoleWhileTheFileIsStillBeingRead) {
  std::string path = TempFile("murvex-long.log");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  for (int number = 1; number <= 1000000; ++number) {
    std::fprintf(file, "line %08d of a listing that takes a while\r\n", number);
  }
  std::fclose(file);
  bool shown = false;
  bool readWhenShown = false;
  {
    MonitorInConsole monitor(path);
    ASSERT_TRUE(monitor.Started());
    for (int attempt = 0; attempt < 600 && !shown; ++attempt) {
      shown = monitor.ShowsNumberedRow();
      if (shown) {
        readWhenShown = StillBeingRead(path);
      } else {
        Sleep(50);
      }
    }
  }
  EXPECT_TRUE(shown);
  EXPECT_TRUE(readWhenShown);
  std::remove(path.c_str());
}

// The folder deleted and made again: the monitor lets its notification go
// at once, so that the folder can really go (wine, as Windows, holds a
// folder with an open handle pending deletion), says that it waits for it,
// and lists the file once it is back; it does not end.
TEST(ConsoleScreenTest, WatchedFolderDeletedAndMadeAgainIsWatchedAgain) {
  std::string folder = TempFile("murvex-gone");
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string path = folder + "\\app.log";
  WriteBytes(path, "alpha\r\n", "wb");
  MonitorInConsole monitor(path);
  ASSERT_TRUE(monitor.Started());
  WORD attribute = 0;
  std::string title;
  ASSERT_TRUE(monitor.WaitForRow("[0001]alpha", &attribute, &title));
  ASSERT_TRUE(DeleteFileA(path.c_str()));
  ASSERT_TRUE(RemoveDirectoryA(folder.c_str()));
  EXPECT_TRUE(monitor.WaitForRow("[" + folder + "\\]", &attribute, &title));  // ...のフォルダーを待っています
  bool madeAgain = false;
  for (int attempt = 0; attempt < 300 && !madeAgain; ++attempt) {
    madeAgain = CreateDirectoryA(folder.c_str(), nullptr) != 0;
    if (!madeAgain) Sleep(100);
  }
  ASSERT_TRUE(madeAgain) << GetLastError();
  WriteBytes(path, "again\r\n", "wb");
  EXPECT_TRUE(monitor.WaitForRow("[0001]again", &attribute, &title));
  EXPECT_EQ(monitor.WaitForExit(0), -1);
  DeleteFileA(path.c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST(ConsoleScreenTest, RefusedStartsEndWithExitCodeOne) {
  for (const std::string& argument : {std::string(""), std::string(" \"" + TempFile("no-such-file.log") + "\"")}) {
    std::string command = "\"" + ProgramFolder() + "MURVEX.exe\"" + argument;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 1u) << command;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
}

}  // namespace
