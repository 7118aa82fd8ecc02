// The real Kestrin.exe and MURVEX.exe on a virtual screen: the listed files'
// monitors start in consoles of their own, are arranged on the 4 x 3 grid,
// end on Stop, and the list is saved on Exit.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FileBytes.h"

namespace {

std::string ModuleFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Started as from the desktop: without this test's console, so the
// monitors the manager starts get consoles of their own.
HANDLE Start(const std::string& commandLine, DWORD flags = DETACHED_PROCESS) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

HANDLE StartWide(const std::wstring& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                      &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

DWORD RunToEnd(const std::string& commandLine) {
  HANDLE process = Start(commandLine, 0);
  if (process == nullptr) return 0xFFFFFFFF;
  WaitForSingleObject(process, 90000);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code;
}

// Visible top-level windows by exact title.
std::map<std::string, std::vector<HWND>> VisibleWindows() {
  std::map<std::string, std::vector<HWND>> windows;
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        if (!IsWindowVisible(window)) return TRUE;
        char title[260] = "";
        GetWindowTextA(window, title, sizeof title);
        (*reinterpret_cast<std::map<std::string, std::vector<HWND>>*>(context))[title].push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

int MonitorProcessCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (_stricmp(entry.szExeFile, "MURVEX.exe") == 0) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

template <typename Condition>
bool WaitFor(Condition condition, int seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(100);
  }
  return true;
}

HWND ManagerDialog() {
  HWND dialog = FindWindowW(L"#32770", L"リアルタイムファイル監視");
  return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

// Start, Stop, Arrange, Exit, Clear: 1 enabled, 0 not.
std::string ButtonStates(HWND dialog) {
  std::string states;
  for (int id : {IDOK, 1005, 1009, IDCANCEL, 1004}) states += IsWindowEnabled(GetDlgItem(dialog, id)) ? '1' : '0';
  return states;
}

// The text of the manager's message box, which is then closed with OK.
std::wstring AnswerMessageBox() {
  std::wstring text = L"<no message box>";
  WaitFor(
      [&] {
        HWND box = FindWindowW(L"#32770", L"Kestrin64");
        if (box == nullptr || !IsWindowVisible(box)) return false;
        wchar_t said[512] = L"";
        GetDlgItemTextW(box, 0xFFFF, said, 512);
        text = said;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
      },
      60);
  return text;
}

// The system's task-kill swapped for the stand-in for the fixture's life,
// and put back after: wine's own knows no user filter. Wine runs its own
// builtin programs unless its settings say to load the file.
class StandInTaskKill {
 public:
  static constexpr char kOverrides[] = "Software\\Wine\\DllOverrides";
  explicit StandInTaskKill(const std::string& replacement) {
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    taskKill_ = std::string(folder) + "\\taskkill.exe";
    kept_ = taskKill_ + ".kept";
    // A run that ended before putting it back left the system's one here.
    if (GetFileAttributesA(kept_.c_str()) != INVALID_FILE_ATTRIBUTES) MoveFileExA(kept_.c_str(), taskKill_.c_str(), MOVEFILE_REPLACE_EXISTING);
    swapped_ = CopyFileA(taskKill_.c_str(), kept_.c_str(), FALSE) && CopyFileA(replacement.c_str(), taskKill_.c_str(), FALSE);
    RegSetKeyValueA(HKEY_CURRENT_USER, kOverrides, "taskkill.exe", REG_SZ, "native", sizeof "native");
  }
  ~StandInTaskKill() {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kOverrides, "taskkill.exe");
    MoveFileExA(kept_.c_str(), taskKill_.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  bool swapped() const { return swapped_; }

 private:
  std::string taskKill_, kept_;
  bool swapped_ = false;
};

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    root_ = std::string(temp) + "kestrin-e2e-" + std::to_string(GetCurrentProcessId());
    app_ = root_ + "\\app";
    logs_ = root_ + "\\my logs";  // a blank: each path must reach its monitor whole
    CreateDirectoryA(root_.c_str(), nullptr);
    CreateDirectoryA(app_.c_str(), nullptr);
    CreateDirectoryA(logs_.c_str(), nullptr);
    std::string built = ModuleFolder();
    // The manager starts MURVEX.exe from its own folder.
    ASSERT_TRUE(CopyFileA((built + "Kestrin.exe").c_str(), (app_ + "\\Kestrin.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((built + "..\\MURVEX\\MURVEX.exe").c_str(), (app_ + "\\MURVEX.exe").c_str(), FALSE));
    driver_ = "\"" + built + "kestrin_driver.exe\"";
    SetEnvironmentVariableA("ProgramData", (root_ + "\\ProgramData").c_str());
    listPath_ = root_ + "\\ProgramData\\Fennwick\\Kestrin\\Surveillance.txt";
    taskKill_ = std::make_unique<StandInTaskKill>(built + "kestrin_standin_taskkill.exe");
    SetEnvironmentVariableA("KESTRIN_TASKKILL_DELAY_MS", nullptr);
  }
  void TearDown() override {
    if (manager_ != nullptr) {
      TerminateProcess(manager_, 1);
      CloseHandle(manager_);
    }
    taskKill_.reset();
    RunToEnd("TASKKILL.exe /F /IM MURVEX.EXE");
    std::string command = "cmd /c rmdir /s /q \"" + root_ + "\" >nul 2>&1";
    (void)std::system(command.c_str());
  }

  DWORD Click(int id) { return RunToEnd(driver_ + " click " + std::to_string(id)); }
  DWORD Press(int id) { return RunToEnd(driver_ + " post " + std::to_string(id)); }

  // The list file, written before the manager first made the data folder.
  void WriteList(const std::string& bytes) {
    std::string folder = root_ + "\\ProgramData";
    for (const char* level : {"", "\\Fennwick", "\\Fennwick\\Kestrin"}) {
      CreateDirectoryA((folder + level).c_str(), nullptr);
    }
    WriteBytes(listPath_, bytes);
  }
  void StopAndExit() {
    ASSERT_EQ(Click(1005), 0u);
    EXPECT_TRUE(WaitFor([] { return MonitorProcessCount() == 0; }, 30)) << MonitorProcessCount() << " still run";
    ASSERT_EQ(Click(IDCANCEL), 0u);
    ASSERT_EQ(WaitForSingleObject(manager_, 30000), WAIT_OBJECT_0);
    CloseHandle(manager_);
    manager_ = nullptr;
  }

  std::string root_, app_, logs_, driver_, listPath_;
  HANDLE manager_ = nullptr;
  std::unique_ptr<StandInTaskKill> taskKill_;
};

// Visible windows titled name, none of them minimised (monitors start
// minimised and restore themselves), with their left edges in order.
std::vector<LONG> LeftEdges(const std::string& name) {
  std::vector<LONG> lefts;
  auto windows = VisibleWindows();
  for (HWND window : windows[name]) {
    EXPECT_FALSE(IsIconic(window)) << name << " is minimised";
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.top, 0) << name;
    // A console snaps its size to whole character cells.
    EXPECT_NEAR(rect.right - rect.left, 480, 24) << name;
    EXPECT_NEAR(rect.bottom - rect.top, 360, 24) << name;
    lefts.push_back(rect.left);
  }
  std::sort(lefts.begin(), lefts.end());
  return lefts;
}

TEST_F(EndToEndTest, StartArrangeStopAndExitWithRealMonitors) {
  // Two files of one name in two folders, and a path of 258 bytes, which
  // reading the list in pieces of 259 bytes made into two entries.
  std::vector<std::string> folders = {logs_ + "\\svc1", logs_ + "\\svc2"};
  folders.push_back(logs_ + "\\" + std::string(258 - (logs_.size() + 1) - std::strlen("\\long.log"), 'd'));
  std::string list, path;
  for (size_t i = 0; i < folders.size(); ++i) {
    CreateDirectoryA(folders[i].c_str(), nullptr);
    path = folders[i] + (i < 2 ? "\\app.log" : "\\long.log");
    WriteBytes(path, "first line\r\nsecond line\r\n");
    list += path + "\r\n";
  }
  ASSERT_EQ(path.size(), 258u);
  // The first start makes the data folder; the list is written into it once
  // the manager is gone.
  manager_ = Start("\"" + app_ + "\\Kestrin.exe\"");
  ASSERT_NE(manager_, nullptr);
  ASSERT_EQ(Click(IDCANCEL), 0u);
  ASSERT_EQ(WaitForSingleObject(manager_, 30000), WAIT_OBJECT_0);
  CloseHandle(manager_);
  manager_ = nullptr;
  EXPECT_EQ(ReadBytes(listPath_), "");  // an empty list is 0 bytes
  WriteBytes(listPath_, list);

  manager_ = Start("\"" + app_ + "\\Kestrin.exe\"");
  ASSERT_NE(manager_, nullptr);

  // A second copy ends at once, without a window.
  EXPECT_EQ(Click(1005), 0u);  // waits for the first copy's dialog (Stop: harmless while idle)
  HANDLE second = Start("\"" + app_ + "\\Kestrin.exe\"");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(WaitForSingleObject(second, 30000), WAIT_OBJECT_0);
  CloseHandle(second);

  ASSERT_EQ(Click(IDOK), 0u);  // Start
  ASSERT_TRUE(WaitFor(
      [] {
        auto windows = VisibleWindows();
        return windows["app.log"].size() == 2 && windows["long.log"].size() == 1;
      },
      60))
      << "a monitor's console window did not appear";
  EXPECT_EQ(MonitorProcessCount(), 3);

  // Each window takes a cell of its own, in list order; none is left where
  // it was put out of the way.
  for (const auto& titled : VisibleWindows()) {
    if (titled.first != "app.log" && titled.first != "long.log") continue;
    for (HWND window : titled.second) SetWindowPos(window, HWND_TOP, 1400, 700, 300, 200, SWP_NOACTIVATE);
  }
  ASSERT_EQ(Click(1009), 0u);  // Arrange
  ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
  EXPECT_EQ(LeftEdges("app.log"), (std::vector<LONG>{0, 480}));
  EXPECT_EQ(LeftEdges("long.log"), (std::vector<LONG>{960}));

  // Exit is refused while the monitors run.
  ASSERT_EQ(Click(IDCANCEL), 0u);
  EXPECT_EQ(WaitForSingleObject(manager_, 500), static_cast<DWORD>(WAIT_TIMEOUT));

  StopAndExit();
  EXPECT_EQ(ReadBytes(listPath_), list);  // byte for byte: no empty entry
}

// The full path of a running MURVEX.exe, or empty when none runs.
std::wstring MonitorProgramPath() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  std::wstring path;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && path.empty(); more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, L"MURVEX.exe") != 0) continue;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    wchar_t name[MAX_PATH] = L"";
    DWORD size = MAX_PATH;
    if (process != nullptr && QueryFullProcessImageNameW(process, 0, name, &size)) path = name;
    if (process != nullptr) CloseHandle(process);
  }
  CloseHandle(snapshot);
  return path;
}

TEST_F(EndToEndTest, AManagerInAFolderTheCodePageCannotNameStartsItsOwnMonitorNotALookAlikes) {
  // é has no form in code page 932; asked for in ANSI, the manager's path
  // would name the look-alike folder, and its MURVEX.exe.
  std::wstring accented = Wide(root_) + L"\\caf\u00e9", plain = Wide(root_) + L"\\cafe";
  std::wstring built = Wide(ModuleFolder());
  for (const std::wstring& folder : {accented, plain}) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((built + L"..\\MURVEX\\MURVEX.exe").c_str(), (folder + L"\\MURVEX.exe").c_str(), FALSE));
  }
  ASSERT_TRUE(CopyFileW((built + L"Kestrin.exe").c_str(), (accented + L"\\Kestrin.exe").c_str(), FALSE));
  std::string log = logs_ + "\\app.log";
  WriteBytes(log, "a line\r\n");
  WriteList(log + "\r\n");

  manager_ = StartWide(L"\"" + accented + L"\\Kestrin.exe\"");
  ASSERT_NE(manager_, nullptr);
  ASSERT_EQ(Click(IDOK), 0u);
  ASSERT_TRUE(WaitFor([] { return MonitorProcessCount() == 1; }, 60));
  EXPECT_EQ(_wcsicmp(MonitorProgramPath().c_str(), (accented + L"\\MURVEX.exe").c_str()), 0);
  StopAndExit();
}

// A list saved by Notepad in UTF-8 (no mark) with a Japanese path: its
// monitor starts titled with the file's own name; an entry that cannot run
// is named in one message and the others start; Exit writes the list in
// UTF-8 with a mark, as one of its names has no code page 932 form.
TEST_F(EndToEndTest, AUtf8ListWithJapaneseAndAccentedPathsStartsTheirMonitorsAndIsSavedWhole) {
  const std::wstring folder = Wide(logs_) + L"\\\u30ED\u30B0";  // ログ
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  // アプリ.log; a file whose path is too long to reach the monitor as one
  // argument (80 ロ: 240 bytes of UTF-8) is named with the one that is gone.
  const std::wstring names[] = {folder + L"\\\u30A2\u30D7\u30EA.log", Wide(logs_) + L"\\caf\u00e9.log",
                                folder + L"\\" + std::wstring(80, L'\u30ED') + L".log"};
  for (const std::wstring& name : names) {
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "a line\r\n", 8, &written, nullptr);
    CloseHandle(file);
  }
  auto utf8 = [](const std::wstring& wide) {
    char text[1024] = "";
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
    return std::string(text);
  };
  std::string gone = logs_ + "\\gone.log";
  std::string list = utf8(names[0]) + "\r\n" + gone + "\r\n" + utf8(names[1]) + "\r\n" + utf8(names[2]) + "\r\n";
  WriteList(list);
  manager_ = Start("\"" + app_ + "\\Kestrin.exe\"");
  ASSERT_NE(manager_, nullptr);
  ASSERT_EQ(Press(IDOK), 0u);
  std::wstring said = AnswerMessageBox();
  EXPECT_NE(said.find(Wide(gone)), std::wstring::npos) << utf8(said);
  EXPECT_NE(said.find(names[2]), std::wstring::npos) << utf8(said);
  EXPECT_EQ(said.find(L"caf\u00e9"), std::wstring::npos) << utf8(said);
  auto shown = [](const wchar_t* title) {
    HWND window = FindWindowW(nullptr, title);
    return window != nullptr && IsWindowVisible(window);
  };
  EXPECT_TRUE(WaitFor([&] { return shown(L"\u30A2\u30D7\u30EA.log") && shown(L"caf\u00e9.log"); }, 60));
  EXPECT_EQ(MonitorProcessCount(), 2);
  StopAndExit();
  EXPECT_EQ(ReadBytes(listPath_), "\xEF\xBB\xBF" + list);
}

// Another user may plant names in the shared folder. Under wine a unix link
// looks like its target, so what shows here are second names (hard links):
// one at the old temporary's name is never written through, and a list that
// is one is never loaded nor saved over.
TEST_F(EndToEndTest, NamesPlantedInTheSharedFolderAreNeitherWrittenThroughNorLoaded) {
  const std::string victim = root_ + "\\victim.txt", secret = "C:\\secret.log\r\n";
  WriteBytes(victim, secret);
  WriteList("C:\\logs\\a.log\n");  // saved back in CR LF form
  ASSERT_TRUE(CreateHardLinkA((listPath_ + ".new").c_str(), victim.c_str(), nullptr));
  manager_ = Start("\"" + app_ + "\\Kestrin.exe\"");
  ASSERT_NE(manager_, nullptr);
  ASSERT_EQ(Click(IDCANCEL), 0u);
  ASSERT_EQ(WaitForSingleObject(manager_, 30000), WAIT_OBJECT_0);
  CloseHandle(manager_);
  EXPECT_EQ(ReadBytes(victim), secret);
  EXPECT_EQ(ReadBytes(listPath_), "C:\\logs\\a.log\r\n");

  ASSERT_TRUE(DeleteFileA(listPath_.c_str()));
  ASSERT_TRUE(CreateHardLinkA(listPath_.c_str(), victim.c_str(), nullptr));
  manager_ = Start("\"" + app_ + "\\Kestrin.exe\"");
  ASSERT_NE(manager_, nullptr);
  std::wstring said = AnswerMessageBox();
  EXPECT_NE(said.find(L"読み込みませんでした"), std::wstring::npos) << "said: " << said.size();
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (dialog = ManagerDialog()) != nullptr; }, 30));
  EXPECT_EQ(ListView_GetItemCount(GetDlgItem(dialog, 1000)), 0);
  // Said once: Exit then ends without a word, writing nothing.
  ASSERT_EQ(Click(IDCANCEL), 0u);
  EXPECT_EQ(WaitForSingleObject(manager_, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(ReadBytes(victim), secret);
}

TEST_F(EndToEndTest, StopKeepsEveryButtonOffUntilASlowTaskKillHasEnded) {
  std::string log = logs_ + "\\app.log";
  WriteBytes(log, "a line\r\n");
  WriteList(log + "\r\n");
  if (!taskKill_->swapped()) GTEST_SKIP() << "the system's task-kill cannot be swapped here";
  SetEnvironmentVariableA("KESTRIN_TASKKILL_DELAY_MS", "12000");  // the manager's, and so the task-kill's
  manager_ = Start("\"" + app_ + "\\Kestrin.exe\"");
  SetEnvironmentVariableA("KESTRIN_TASKKILL_DELAY_MS", nullptr);
  ASSERT_NE(manager_, nullptr);
  {
    ASSERT_EQ(Click(IDOK), 0u);
    ASSERT_TRUE(WaitFor([] { return VisibleWindows().count("app.log") != 0; }, 60));
    HWND dialog = ManagerDialog();
    ASSERT_NE(dialog, nullptr);

    auto pressed = std::chrono::steady_clock::now();
    ASSERT_EQ(Press(1005), 0u);
    // Every button stays off, the window answering, until the task-kill has
    // ended; only then, with the monitors gone, do they come back (read one
    // by one, they may be seen half way back).
    bool sawAllOff = false;
    std::string last;
    ASSERT_TRUE(WaitFor(
        [&] {
          last = ButtonStates(dialog);
          // Stop not handled yet, or its buttons going off one by one.
          bool monitoringButtonsOnly = last[0] == '0' && last[3] == '0' && last[4] == '0';
          if (!sawAllOff && monitoringButtonsOnly && last != "00000") return false;
          if (last == "00000") {
            sawAllOff = true;
            DWORD_PTR ignored;
            EXPECT_NE(SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored), 0);
            return false;
          }
          EXPECT_EQ(MonitorProcessCount(), 0) << "buttons " << last << " while monitors run";
          return last == "10011";
        },
        90))
        << "the buttons stayed " << last;
    EXPECT_TRUE(sawAllOff);
    EXPECT_GE(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(11));

    // Started again: no late task-kill ends the new monitor.
    ASSERT_EQ(Click(IDOK), 0u);
    ASSERT_TRUE(WaitFor([] { return VisibleWindows().count("app.log") != 0; }, 60));
    EXPECT_EQ(MonitorProcessCount(), 1);
  }
  StopAndExit();
}

}  // namespace
