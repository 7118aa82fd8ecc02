// The real Kestrin.exe and MURVEX.exe on a virtual screen: the listed files'
// monitors start in consoles of their own, are arranged on the 4 x 3 grid,
// end on Stop, and the list is saved on Exit.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
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
  }
  void TearDown() override {
    if (manager_ != nullptr) {
      TerminateProcess(manager_, 1);
      CloseHandle(manager_);
    }
    RunToEnd("TASKKILL.exe /F /IM MURVEX.EXE");
    std::string command = "cmd /c rmdir /s /q \"" + root_ + "\" >nul 2>&1";
    (void)std::system(command.c_str());
  }

  DWORD Click(int id) { return RunToEnd(driver_ + " click " + std::to_string(id)); }

  std::string root_, app_, logs_, driver_, listPath_;
  HANDLE manager_ = nullptr;
};

TEST_F(EndToEndTest, StartArrangeStopAndExitWithRealMonitors) {
  const std::vector<std::string> names = {"alpha.log", "beta.log", "gamma.log"};
  std::string list;
  for (const std::string& name : names) {
    WriteBytes(logs_ + "\\" + name, "first line of " + name + "\r\nsecond line\r\n");
    list += logs_ + "\\" + name + "\r\n";
  }
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
      [&] {
        auto windows = VisibleWindows();
        for (const std::string& name : names) {
          if (windows.count(name) == 0) return false;
        }
        return true;
      },
      60))
      << "a monitor's console window did not appear";
  EXPECT_EQ(MonitorProcessCount(), 3);

  ASSERT_EQ(Click(1009), 0u);  // Arrange
  if (GetSystemMetrics(SM_CXSCREEN) == 1920 && GetSystemMetrics(SM_CYSCREEN) == 1080) {
    auto windows = VisibleWindows();
    for (size_t i = 0; i < names.size(); ++i) {
      RECT rect;
      GetWindowRect(windows[names[i]].front(), &rect);
      EXPECT_EQ(rect.left, static_cast<LONG>(480 * i)) << names[i];
      EXPECT_EQ(rect.top, 0) << names[i];
      // A console snaps its size to whole character cells.
      EXPECT_NEAR(rect.right - rect.left, 480, 24) << names[i];
      EXPECT_NEAR(rect.bottom - rect.top, 360, 24) << names[i];
    }
  } else {
    ADD_FAILURE() << "the virtual screen is not 1920 x 1080";
  }

  // Exit is refused while the monitors run.
  ASSERT_EQ(Click(IDCANCEL), 0u);
  EXPECT_EQ(WaitForSingleObject(manager_, 500), static_cast<DWORD>(WAIT_TIMEOUT));

  ASSERT_EQ(Click(1005), 0u);  // Stop waits for the task-kill
  EXPECT_TRUE(WaitFor([] { return MonitorProcessCount() == 0; }, 20)) << MonitorProcessCount() << " still run";

  ASSERT_EQ(Click(IDCANCEL), 0u);  // Exit
  ASSERT_EQ(WaitForSingleObject(manager_, 30000), WAIT_OBJECT_0);
  CloseHandle(manager_);
  manager_ = nullptr;
  EXPECT_EQ(ReadBytes(listPath_), list);
}

}  // namespace
