// The manager's dialog created from its template and driven in-process: the
// dialog runs modally on the test's thread while a driver thread sends it
// what the shell and the user would.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <cwctype>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Arrangement.h"
#include "CommandRunner.h"
#include "DataFolder.h"
#include "KestrinApp.h"
#include "KestrinDlg.h"
#include "KeyedTextTable.h"
#include "MonitorPlatform.h"
#include "WatchList.h"
#include "resource.h"

#include "FileBytes.h"

namespace {

const wchar_t kDialogTitle[] = L"リアルタイムファイル監視";

std::string TemporaryFolder(const char* name) {
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  std::string folder = std::string(base) + name + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

// A drop block as the shell builds it: DROPFILES and the names, each ended by
// a NUL, the list by another.
HDROP MakeDrop(const std::vector<std::wstring>& names) {
  std::wstring list;
  for (const std::wstring& name : names) list += name + L'\0';
  list += L'\0';
  size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// What the driver thread sees of the running dialog.
class DialogDriver {
 public:
  explicit DialogDriver(HWND dialog) : dialog_(dialog), list_(GetDlgItem(dialog, IDC_LIST)) {}
  HWND dialog() const { return dialog_; }
  HWND list() const { return list_; }

  void Drop(const std::vector<std::wstring>& names) const {
    SendMessageW(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0);
  }
  // False when the drop was not handled within the bound (a message box
  // holds it); that box is then answered so that the dialog goes on.
  bool DropQuietly(const std::vector<std::wstring>& names) const;
  // For a drop that opens a message box, which would block SendMessage.
  void PostDrop(const std::vector<std::wstring>& names) const {
    PostMessageW(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0);
  }
  void Click(int id) const {
    SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)));
  }
  void PostClick(int id) const {
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)));
  }
  void DoubleClickRow(int row) const {
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    NMITEMACTIVATE activate{};
    activate.hdr.hwndFrom = list_;
    activate.hdr.idFrom = IDC_LIST;
    activate.hdr.code = NM_DBLCLK;
    activate.iItem = row;
    SendMessageW(dialog_, WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&activate));
  }
  bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
  std::string ButtonStates() const {
    std::string states;
    for (int id : {IDOK, IDC_STOP, IDC_ARRANGE, IDCANCEL, IDC_CLEAR}) states += Enabled(id) ? '1' : '0';
    return states;
  }

  // Each row as "<number> <path>".
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    int count = static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) rows.push_back(Cell(row, 0) + " " + Cell(row, 1));
    return rows;
  }
  std::wstring WideCell(int row, int column) const {
    wchar_t text[1024] = L"";
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = text;
    cell.cchTextMax = 1024;
    SendMessageW(list_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    return text;
  }
  std::string Cell(int row, int column) const {
    char text[1024] = "";
    LVITEMA cell{};
    cell.iSubItem = column;
    cell.pszText = text;
    cell.cchTextMax = sizeof text;
    SendMessageA(list_, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&cell));
    return text;
  }

 private:
  HWND dialog_;
  HWND list_;
};

// Waits for a message box captioned "Kestrin64", returns its text and
// presses the given button (after running beforePressing, if given).
std::wstring AnswerMessageBox(int button, const std::function<void()>& beforePressing = nullptr) {
  // Generous bounds: a loaded machine runs wine slowly.
  for (int i = 0; i < 800; ++i) {
    HWND box = FindWindowW(L"#32770", L"Kestrin64");
    if (box != nullptr && IsWindowVisible(box)) {
      wchar_t text[512] = L"";
      GetDlgItemTextW(box, 0xFFFF, text, 512);
      bool hasNo = GetDlgItem(box, IDNO) != nullptr;
      if (beforePressing) beforePressing();
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
      // Gone before the caller goes on, so the next search finds a new one.
      for (int j = 0; j < 1000 && IsWindow(box); ++j) Sleep(10);
      return std::wstring(text) + (hasNo ? L"[yes/no]" : L"");
    }
    Sleep(25);
  }
  return L"<no message box>";
}

bool DialogDriver::DropQuietly(const std::vector<std::wstring>& names) const {
  DWORD_PTR ignored;
  if (SendMessageTimeoutW(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0, SMTO_NORMAL, 20000,
                          &ignored) != 0) {
    return true;
  }
  AnswerMessageBox(IDOK);
  return false;
}

// A dialog ended with EndDialog is destroyed once its modal loop returns.
void WaitUntilGone(HWND window) {
  for (int i = 0; i < 500 && IsWindow(window); ++i) Sleep(20);
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TemporaryFolder("kestrin-dialog-");
    programData_ = root_ + "\\ProgramData";
    files_ = root_ + "\\files";
    CreateDirectoryA(files_.c_str(), nullptr);
    _putenv_s("ProgramData", programData_.c_str());
    SetPlatform(MonitorPlatform{&NativeFileSystem(), nullptr, nullptr});
    TableClear();
    g_keyCounter = 0;
    g_monitoringFlag = 0;
    ASSERT_TRUE(PrepareWatchListPath());
    listPath_ = g_watchListPath;
    ComputeCellTable(1920, 1080);
  }
  void TearDown() override {
    TableClear();
    g_keyCounter = 0;
    g_monitoringFlag = 0;
    std::string command = "cmd /c rmdir /s /q \"" + root_ + "\" >nul 2>&1";
    (void)std::system(command.c_str());
  }

  std::string TextFile(const std::string& name, const std::string& bytes = "a line\r\n") {
    std::string path = files_ + "\\" + name;
    WriteBytes(path, bytes);
    return path;
  }

  // Runs the dialog modally here while body drives it from a second thread;
  // returns what DoModal returned. A body that leaves the dialog open has it
  // closed for it, so a failing check cannot hang the test.
  INT_PTR RunDialog(const std::function<void(DialogDriver&)>& body) {
    CKestrinDlg dialog;
    dialog.m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    std::thread driverThread([&] {
      HWND window = nullptr;
      // Found once shown, which happens after its initialisation.
      for (int i = 0; i < 400 && window == nullptr; ++i) {
        window = FindWindowW(L"#32770", kDialogTitle);
        if (window != nullptr && !IsWindowVisible(window)) window = nullptr;
        if (window == nullptr) Sleep(25);
      }
      if (window == nullptr) {
        ADD_FAILURE() << "the dialog did not open";
        return;
      }
      DialogDriver driver(window);
      body(driver);
      if (IsWindow(window)) {
        g_monitoringFlag = 0;
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      }
    });
    INT_PTR result = dialog.DoModal();
    driverThread.join();
    return result;
  }

  std::string root_, programData_, files_, listPath_;
};

TEST_F(DialogTest, OpensFromItsTemplateInIdleModeWithTheListedFiles) {
  std::string a = TextFile("a.log"), b = TextFile("b.log");
  WriteBytes(listPath_, a + "\r\n" + b + "\n");
  LoadWatchList(listPath_.c_str());

  INT_PTR result = RunDialog([&](DialogDriver& d) {
    EXPECT_EQ(d.ButtonStates(), "10011");  // Start, Exit and Clear enabled
    EXPECT_EQ(d.Rows(), (std::vector<std::string>{"1 " + a, "2 " + b}));

    wchar_t text[64];
    GetDlgItemTextW(d.dialog(), IDC_ARRANGE, text, 64);
    EXPECT_STREQ(text, L"画面\n整列");
    GetDlgItemTextW(d.dialog(), IDOK, text, 64);
    EXPECT_STREQ(text, L"監視開始");

    HWND header = reinterpret_cast<HWND>(SendMessageW(d.list(), LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 2);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.pszText = text;
    column.cchTextMax = 64;
    SendMessageW(d.list(), LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(text, L"番号");
    EXPECT_EQ(column.cx, 40);
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_CENTER);
    SendMessageW(d.list(), LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(text, L"監視対象ファイル名");
    EXPECT_EQ(column.cx, 600);

    DWORD extended = static_cast<DWORD>(SendMessageW(d.list(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & 0x71u, 0x71u);
    EXPECT_TRUE(GetWindowLongW(d.dialog(), GWL_EXSTYLE) & WS_EX_TOPMOST);

    // The list follows the frame: 10, 60 in the client area, 36 and 110
    // pixels less than the window.
    SetWindowPos(d.dialog(), nullptr, 0, 0, 900, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    RedrawWindow(d.dialog(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    RECT frame, list;
    GetWindowRect(d.dialog(), &frame);
    GetWindowRect(d.list(), &list);
    POINT origin{list.left, list.top};
    ScreenToClient(d.dialog(), &origin);
    EXPECT_EQ(origin.x, 10);
    EXPECT_EQ(origin.y, 60);
    EXPECT_EQ(list.right - list.left, frame.right - frame.left - 36);
    EXPECT_EQ(list.bottom - list.top, frame.bottom - frame.top - 110);

    HICON big = reinterpret_cast<HICON>(SendMessageW(d.dialog(), WM_GETICON, ICON_BIG, 0));
    EXPECT_NE(big, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(d.dialog(), WM_QUERYDRAGICON, 0, 0)), big);

    d.Click(IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  // Saved back in the CR LF form.
  EXPECT_EQ(ReadBytes(listPath_), a + "\r\n" + b + "\r\n");
}

TEST_F(DialogTest, HintsAndBackgroundTakeTheirColours) {
  RunDialog([&](DialogDriver& d) {
    HDC dc = GetDC(d.dialog());
    struct Case {
      int id;
      COLORREF colour;
    };
    for (Case c : {Case{IDC_HINT_ADD, RGB(0, 10, 60)}, Case{IDC_HINT_REMOVE, RGB(0, 10, 60)},
                   Case{IDC_HINT_MONITORING, RGB(0, 90, 20)}}) {
      SetTextColor(dc, RGB(255, 255, 255));
      LRESULT brush = SendMessageW(d.dialog(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                   reinterpret_cast<LPARAM>(GetDlgItem(d.dialog(), c.id)));
      EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), static_cast<HBRUSH>(g_backgroundBrush)) << c.id;
      EXPECT_EQ(GetTextColor(dc), c.colour) << c.id;
      EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    }
    LRESULT brush = SendMessageW(d.dialog(), WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(d.dialog()));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), static_cast<HBRUSH>(g_backgroundBrush));
    LOGBRUSH logical{};
    GetObjectW(g_backgroundBrush, sizeof logical, &logical);
    EXPECT_EQ(logical.lbColor, RGB(220, 220, 220));
    ReleaseDC(d.dialog(), dc);
  });
}

TEST_F(DialogTest, DropsAddTextFilesAndSkipFoldersListedFilesAndBinaries) {
  std::string a = TextFile("a.log"), b = TextFile("b.log"), c = TextFile("c.log");
  std::string binary = TextFile("image.bin", std::string("\x89PNG\0\0\0\x0d", 8));
  RunDialog([&](DialogDriver& d) {
    // Several files onto an empty list: numbered in the shell's order.
    d.Drop({Wide(a), Wide(b)});
    EXPECT_EQ(d.Rows(), (std::vector<std::string>{"1 " + a, "2 " + b}));

    // A folder, a drive root, and a listed file in other letter case:
    // nothing, no message.
    EXPECT_TRUE(d.DropQuietly({Wide(files_)}));
    EXPECT_TRUE(d.DropQuietly({L"C:\\"}));
    std::string upper = a;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    d.Drop({Wide(upper)});
    EXPECT_EQ(d.Rows().size(), 2u);

    // Three at once, one listed and one binary: only the third is added.
    d.Drop({Wide(b), Wide(binary), Wide(c)});
    EXPECT_EQ(d.Rows(), (std::vector<std::string>{"1 " + a, "2 " + b, "3 " + c}));

    // One binary file alone: the message, the list unchanged.
    d.PostDrop({Wide(binary)});
    EXPECT_EQ(AnswerMessageBox(IDOK), L"指定したファイルは監視対象です。");
    EXPECT_EQ(d.Rows().size(), 3u);
  });
  EXPECT_EQ(g_keyCounter, 3);
}

TEST_F(DialogTest, DroppedNamesAreListedAsGivenWhateverTheirCharacters) {
  // 表 is 0x95 0x5C in code page 932: its second byte is a backslash. é has
  // no exact form there (best fit would make it 'e', another file).
  std::wstring table = Wide(files_) + L"\\表.log";
  std::wstring accented = Wide(files_) + L"\\caf\u00e9.log";
  std::wstring korean = Wide(files_) + L"\\\uB85C\uADF8.log";
  for (const std::wstring& name : {table, accented, korean}) {
    HANDLE created = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(created, "x\r\n", 3, &written, nullptr);
    CloseHandle(created);
  }

  RunDialog([&](DialogDriver& d) {
    d.Drop({accented});
    d.Drop({accented, table, korean});
    ASSERT_EQ(d.Rows().size(), 3u);
    EXPECT_EQ(d.WideCell(0, 1), accented);
    EXPECT_EQ(d.WideCell(1, 1), table);
    EXPECT_EQ(d.WideCell(2, 1), korean);

    // A name longer than a path buffer is refused, never cut to another.
    std::wstring overlong = Wide(files_) + L"\\" + std::wstring(300, L'x') + L".log";
    d.PostDrop({overlong});
    EXPECT_EQ(AnswerMessageBox(IDOK), L"指定したファイルは名前が長すぎるため、監視対象にできません。");
    d.Drop({overlong, overlong + L"2"});
    EXPECT_EQ(d.Rows().size(), 3u);

    // A file held without sharing is said to be so, not to be no text.
    std::wstring held = Wide(files_) + L"\\held.log";
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    d.PostDrop({held});
    EXPECT_EQ(AnswerMessageBox(IDOK), L"指定したファイルは開けないため、監視対象にできません。");
    CloseHandle(holder);
    EXPECT_EQ(d.Rows().size(), 3u);
  });
}

TEST_F(DialogTest, DoubleClickRemovesTheSelectedRowAndNumbersStay) {
  std::string a = TextFile("a.log"), b = TextFile("b.log"), c = TextFile("c.log"), e = TextFile("e.log");
  RunDialog([&](DialogDriver& d) {
    d.Drop({Wide(a), Wide(b), Wide(c)});
    d.DoubleClickRow(1);
    EXPECT_EQ(d.Rows(), (std::vector<std::string>{"1 " + a, "3 " + c}));
    d.Drop({Wide(e)});
    EXPECT_EQ(d.Rows(), (std::vector<std::string>{"1 " + a, "3 " + c, "4 " + e}));

    // Numbers of eight digits and more are read whole.
    g_keyCounter = 9999999;
    d.Drop({Wide(b)});
    EXPECT_EQ(d.Cell(3, 0), "10000000");
    d.DoubleClickRow(3);
    EXPECT_EQ(d.Rows(), (std::vector<std::string>{"1 " + a, "3 " + c, "4 " + e}));

    // No row selected: nothing goes.
    LVITEMA none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageA(d.list(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    NMITEMACTIVATE activate{};
    activate.hdr = NMHDR{d.list(), IDC_LIST, static_cast<UINT>(NM_DBLCLK)};
    SendMessageW(d.dialog(), WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&activate));
    EXPECT_EQ(d.Rows().size(), 3u);

    d.Click(IDCANCEL);
  });
  // Saved in key order without the removed one; the next start numbers
  // them from 0 again.
  EXPECT_EQ(ReadBytes(listPath_), a + "\r\n" + c + "\r\n" + e + "\r\n");
}

TEST_F(DialogTest, ClearEmptiesTheListAndNumbersStartAgain) {
  std::string a = TextFile("a.log"), b = TextFile("b.log");
  RunDialog([&](DialogDriver& d) {
    d.Drop({Wide(a), Wide(b)});
    d.Click(IDC_CLEAR);
    EXPECT_TRUE(d.Rows().empty());
    EXPECT_EQ(g_keyCounter, 0);
    // Start with an empty list: no mode change.
    d.Click(IDOK);
    EXPECT_EQ(d.ButtonStates(), "10011");
    EXPECT_EQ(g_monitoringFlag, 0);
    d.Drop({Wide(b)});
    EXPECT_EQ(d.Rows(), (std::vector<std::string>{"1 " + b}));
    d.Click(IDC_CLEAR);
    d.Click(IDCANCEL);
  });
  EXPECT_EQ(ReadBytes(listPath_), "");
}

TEST_F(DialogTest, MonitoringModeLocksTheListAndExitUntilStop) {
  std::string a = TextFile("a.log"), b = TextFile("b.log");
  INT_PTR result = RunDialog([&](DialogDriver& d) {
    d.Drop({Wide(a)});
    d.Click(IDOK);  // no monitor program beside the tests: nothing starts
    EXPECT_EQ(g_monitoringFlag, 1);
    EXPECT_EQ(d.ButtonStates(), "01100");

    d.Drop({Wide(b)});
    d.DoubleClickRow(0);
    d.Click(IDC_CLEAR);
    EXPECT_EQ(d.Rows(), (std::vector<std::string>{"1 " + a}));

    d.Click(IDCANCEL);  // Exit while monitoring
    PostMessageW(d.dialog(), WM_CLOSE, 0, 0);
    SendMessageW(d.dialog(), WM_NULL, 0, 0);  // the close has been handled
    EXPECT_TRUE(IsWindow(d.dialog()));
    EXPECT_EQ(ReadBytes(listPath_), "<missing>");

    d.Click(IDC_STOP);
    EXPECT_EQ(g_monitoringFlag, 0);
    EXPECT_EQ(d.ButtonStates(), "10011");
    // Closing the window while idle saves and ends like Exit.
    PostMessageW(d.dialog(), WM_CLOSE, 0, 0);
    WaitUntilGone(d.dialog());
    EXPECT_FALSE(IsWindow(d.dialog()));
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(ReadBytes(listPath_), a + "\r\n");
}

TEST_F(DialogTest, StartAfterEveryRowWasRemovedStillEntersMonitoringMode) {
  std::string a = TextFile("a.log");
  RunDialog([&](DialogDriver& d) {
    d.Drop({Wide(a)});
    d.DoubleClickRow(0);
    EXPECT_TRUE(d.Rows().empty());
    d.Click(IDOK);
    EXPECT_EQ(g_monitoringFlag, 1);
    d.Click(IDC_STOP);
  });
}

std::atomic<int> g_cancelCommands{0};

LRESULT CALLBACK CountCancelCommands(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_COMMAND && LOWORD(call->wParam) == IDCANCEL) ++g_cancelCommands;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(DialogTest, EscapeLeavesTheDialogOpenAndWritesNothing) {
  RunDialog([&](DialogDriver& d) {
    // Watch the dialog's thread for the Exit command that Escape becomes.
    DWORD uiThread = GetWindowThreadProcessId(d.dialog(), nullptr);
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountCancelCommands, nullptr, uiThread);
    ASSERT_NE(hook, nullptr);
    g_cancelCommands = 0;
    SetForegroundWindow(d.dialog());
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
    for (int i = 0; i < 500 && g_cancelCommands == 0; ++i) Sleep(20);
    SendMessageW(d.dialog(), WM_NULL, 0, 0);  // the command has been handled
    Sleep(200);
    UnhookWindowsHookEx(hook);
    EXPECT_GE(g_cancelCommands.load(), 1) << "Escape did not reach the dialog";
    EXPECT_TRUE(IsWindow(d.dialog()));
    EXPECT_EQ(ReadBytes(listPath_), "<missing>");
  });
}

TEST_F(DialogTest, AFailedSaveKeepsTheOldListAndLetsTheUserStayOrLeave) {
  std::string a = TextFile("a.log");
  WriteBytes(listPath_, "old\r\n");
  // The list held by another program without sharing makes the save fail.
  HANDLE held = CreateFileA(listPath_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  INT_PTR result = RunDialog([&](DialogDriver& d) {
    d.Drop({Wide(a)});
    d.PostClick(IDCANCEL);
    std::wstring text = AnswerMessageBox(IDNO);
    EXPECT_NE(text.find(L"保存できませんでした"), std::wstring::npos);
    EXPECT_NE(text.find(L"[yes/no]"), std::wstring::npos);
    Sleep(100);
    EXPECT_TRUE(IsWindow(d.dialog()));  // stayed

    d.PostClick(IDCANCEL);
    AnswerMessageBox(IDYES);  // leave without saving
    WaitUntilGone(d.dialog());
    EXPECT_FALSE(IsWindow(d.dialog()));
  });
  EXPECT_EQ(result, IDCANCEL);
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(listPath_), "old\r\n");
}

TEST_F(DialogTest, AListHeldByAnotherProgramIsNeverSavedOverAndIsReadOnRetry) {
  std::string list = TextFile("a.log") + "\r\n" + TextFile("b.log") + "\r\n";
  WriteBytes(listPath_, list);
  // Held as a backup tool may hold it: no read sharing.
  auto hold = [&] { return CreateFileA(listPath_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr); };
  HANDLE held = hold();
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::wstring said;
  std::thread giveUp([&] { said = AnswerMessageBox(IDCANCEL); });
  EXPECT_FALSE(ReadWatchListAtStart());
  giveUp.join();
  CloseHandle(held);
  EXPECT_NE(said.find(L"読み込めませんでした"), std::wstring::npos);
  EXPECT_EQ(g_keyCounter, 0);
  EXPECT_EQ(ReadBytes(listPath_), list);

  held = hold();
  std::thread retry([&] { said = AnswerMessageBox(IDRETRY, [&] { CloseHandle(held); }); });
  EXPECT_TRUE(ReadWatchListAtStart());
  retry.join();
  RunDialog([&](DialogDriver& d) {
    EXPECT_EQ(d.Rows().size(), 2u);
    d.Click(IDCANCEL);
  });
  EXPECT_EQ(ReadBytes(listPath_), list);  // the same bytes, saved over
}

// The template's every field, read from the resource itself.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* data) : at_(data) {}
  WORD Word() { return Take<WORD>(); }
  DWORD Dword() { return Take<DWORD>(); }
  short Short() { return Take<short>(); }
  BYTE Byte() { return Take<BYTE>(); }
  std::wstring String() {
    std::wstring text;
    for (WORD c; (c = Word()) != 0;) text += static_cast<wchar_t>(c);
    return text;
  }
  // A name or an ordinal (0xFFFF followed by the number).
  std::wstring NameOrOrdinal() {
    WORD first = *reinterpret_cast<const WORD*>(at_);
    if (first == 0xFFFF) {
      Word();
      return L"#" + std::to_wstring(Word());
    }
    return String();
  }
  void AlignDword() {
    while (reinterpret_cast<uintptr_t>(at_) % 4 != 0) ++at_;
  }
  void Skip(size_t n) { at_ += n; }

 private:
  template <typename T>
  T Take() {
    T value;
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }
  const BYTE* at_;
};

TEST(DialogTemplateTest, MatchesTheLayoutControlByControl) {
  HRSRC found = FindResourceExW(nullptr, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(IDD_KESTRIN_DIALOG),
                                MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  ASSERT_NE(found, nullptr);
  TemplateReader t(static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))));
  EXPECT_EQ(t.Word(), 1);       // version
  EXPECT_EQ(t.Word(), 0xFFFF);  // extended template
  t.Dword();                    // help id
  EXPECT_EQ(t.Dword(), static_cast<DWORD>(WS_EX_ACCEPTFILES | WS_EX_APPWINDOW));
  EXPECT_EQ(t.Dword(), static_cast<DWORD>(DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                          WS_THICKFRAME | WS_MINIMIZEBOX));
  WORD count = t.Word();
  EXPECT_EQ(t.Short(), 0);
  EXPECT_EQ(t.Short(), 0);
  EXPECT_EQ(t.Short(), 325);
  EXPECT_EQ(t.Short(), 211);
  EXPECT_EQ(t.NameOrOrdinal(), L"");  // no menu
  EXPECT_EQ(t.NameOrOrdinal(), L"");  // standard class
  EXPECT_EQ(t.String(), L"リアルタイムファイル監視");
  EXPECT_EQ(t.Word(), 9);    // points
  EXPECT_EQ(t.Word(), 400);  // weight
  EXPECT_EQ(t.Byte(), 0);    // not italic
  EXPECT_EQ(t.Byte(), 128);  // Shift-JIS
  EXPECT_EQ(t.String(), L"ＭＳ 明朝");

  struct Control {
    int id;
    std::wstring kind, caption;
    short x, y, width, height;
    DWORD style, exStyle;
  };
  const DWORD base = WS_CHILD | WS_VISIBLE;
  const std::vector<Control> expected = {
      {IDOK, L"#128", L"監視開始", 6, 6, 50, 24, base | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
      {IDC_STOP, L"#128", L"停止", 60, 6, 32, 24, base | WS_TABSTOP, 0},
      {IDC_ARRANGE, L"#128", L"画面\n整列", 96, 6, 32, 24, base | BS_MULTILINE | WS_TABSTOP, 0},
      {IDCANCEL, L"#128", L"終了", 133, 6, 38, 14, base | WS_TABSTOP, 0},
      {IDC_HINT_ADD, L"#130", L"監視ファイル追加：ドラッグ＆ドロップ", 176, 5, 145, 8,
       base | SS_LEFT | SS_CENTERIMAGE | WS_GROUP, 0},
      {IDC_HINT_REMOVE, L"#130", L"監視ファイル削除：ダブルクリック", 176, 15, 140, 8,
       base | SS_LEFT | SS_CENTERIMAGE | WS_GROUP, 0},
      {IDC_HINT_MONITORING, L"#130", L"監視中は上記操作はできません。", 176, 25, 121, 8,
       base | SS_LEFT | SS_CENTERIMAGE | WS_GROUP, 0},
      {IDC_LIST, L"SysListView32", L"", 3, 35, 317, 176,
       base | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT | LVS_NOSORTHEADER | WS_TABSTOP,
       WS_EX_STATICEDGE},
      {IDC_CLEAR, L"#128", L"クリア", 133, 19, 38, 11, base | WS_TABSTOP, 0},
  };
  ASSERT_EQ(count, expected.size());
  for (const Control& want : expected) {
    t.AlignDword();
    t.Dword();  // help id
    EXPECT_EQ(t.Dword(), want.exStyle) << want.id;
    EXPECT_EQ(t.Dword(), want.style) << want.id;
    EXPECT_EQ(t.Short(), want.x) << want.id;
    EXPECT_EQ(t.Short(), want.y) << want.id;
    EXPECT_EQ(t.Short(), want.width) << want.id;
    EXPECT_EQ(t.Short(), want.height) << want.id;
    EXPECT_EQ(static_cast<int>(t.Dword()), want.id);
    std::wstring kind = t.NameOrOrdinal();
    for (wchar_t& c : kind) c = static_cast<wchar_t>(std::towlower(c));
    std::wstring wantKind = want.kind;
    for (wchar_t& c : wantKind) c = static_cast<wchar_t>(std::towlower(c));
    EXPECT_EQ(kind, wantKind) << want.id;
    EXPECT_EQ(t.NameOrOrdinal(), want.caption) << want.id;
    t.Skip(t.Word());  // creation data
  }
  EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
}

// Start-up, outside the dialog.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override { root_ = TemporaryFolder("kestrin-startup-"); }
  void TearDown() override {
    std::string command = "cmd /c rmdir /s /q \"" + root_ + "\" >nul 2>&1";
    (void)std::system(command.c_str());
  }
  std::string root_;
};

TEST_F(StartupTest, DataFolderIsCreatedLevelByLevelAndOpenedToEveryone) {
  // A name in any characters, kept in UTF-8; in "ぁ\" the 5C is a backslash.
  const std::string data = "\\Program Data caf\xC3\xA9 \xE3\x81\x81\\";
  std::wstring programData = Wide(root_) + L"\\Program Data caf\u00e9 \u3041\\";
  _wputenv_s(L"ProgramData", programData.c_str());
  ASSERT_TRUE(PrepareWatchListPath());
  std::string folder = root_ + data + "Fennwick\\Kestrin";  // no doubled backslash
  EXPECT_STREQ(g_dataFolder, folder.c_str());
  EXPECT_EQ(std::string(g_watchListPath), folder + "\\Surveillance.txt");
  std::wstring wideFolder = programData + L"Fennwick\\Kestrin";
  DWORD attributes = GetFileAttributesW(wideFolder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(wideFolder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr);
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof everyone;
  ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size));
  // Wine reports the owner's entries beside ours; Windows shows ours alone.
  int everyoneEntries = 0;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    if (!EqualSid(&ace->SidStart, everyone)) continue;
    ++everyoneEntries;
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask & (WRITE_DAC | WRITE_OWNER | GENERIC_ALL), 0u);
    EXPECT_EQ(ace->Mask & (FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE),
              static_cast<DWORD>(FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE));
  }
  EXPECT_EQ(everyoneEntries, 1);
  LocalFree(descriptor);

  // Present already: used as it is, its rules left alone.
  ASSERT_TRUE(PrepareWatchListPath());
  EXPECT_STREQ(g_dataFolder, folder.c_str());
}

TEST_F(StartupTest, MissingOrOverlongProgramDataRefusesToStartAndSaysWhy) {
  std::wstring said;
  std::thread answer([&] { said = AnswerMessageBox(IDOK); });
  _putenv_s("ProgramData", "");  // removes it
  EXPECT_EQ(std::getenv("ProgramData"), nullptr);
  EXPECT_FALSE(PrepareWatchListPath());
  answer.join();
  EXPECT_NE(said.find(L"ProgramData"), std::wstring::npos);
  EXPECT_NE(said.find(L"設定されていない"), std::wstring::npos);

  std::thread answerLong([&] { said = AnswerMessageBox(IDOK); });
  // 222 bytes: the list path fits, its temporary copy would not.
  _putenv_s("ProgramData", ("C:\\" + std::string(219, 'p')).c_str());
  EXPECT_FALSE(PrepareWatchListPath());
  answerLong.join();
  EXPECT_NE(said.find(L"長すぎる"), std::wstring::npos);
}

TEST_F(StartupTest, ASecondInstanceEndsAtOnceTouchingNothing) {
  HANDLE first = CreateMutexA(nullptr, TRUE, "Kestrin");
  ASSERT_NE(first, nullptr);
  std::string programData = root_ + "\\second";
  _putenv_s("ProgramData", programData.c_str());
  CKestrinApp second;
  EXPECT_FALSE(second.InitInstance());
  EXPECT_EQ(GetFileAttributesA(programData.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(FindWindowW(L"#32770", kDialogTitle), nullptr);
  CloseHandle(first);
}

}  // namespace
