#include "KestrinDlg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CommandRunner.h"
#include "DataFolder.h"
#include "DoubleByteText.h"
#include "KeyedTextTable.h"
#include "TextEncoding.h"
#include "WatchList.h"
#include "WideText.h"
#include "WindowArrangement.h"
#include "resource.h"

CBrush g_backgroundBrush;

namespace {

// Made with the process, before any dialog exists.
struct BackgroundBrushMaker {
  BackgroundBrushMaker() { g_backgroundBrush.CreateSolidBrush(RGB(220, 220, 220)); }
} g_backgroundBrushMaker;

constexpr COLORREF kHintTextColour = RGB(0, 10, 60);
constexpr COLORREF kMonitoringHintColour = RGB(0, 90, 20);
constexpr DWORD kPauseBetweenStartsMs = 100;

const wchar_t kNotTextMessage[] = L"指定したファイルは監視対象です。";
const wchar_t kNameTooLongMessage[] = L"指定したファイルは名前が長すぎるため、監視対象にできません。";
const wchar_t kNoMonitorProgramMessage[] =
    L"Kestrin.exe のあるフォルダーのパスが長すぎるか、シフト JIS で表せない文字を含むため、"
    L"MURVEX.exe を起動できません。\n"
    L"短い名前のフォルダーに移してから起動してください。";
const wchar_t kCannotOpenMessage[] = L"指定したファイルは開けないため、監視対象にできません。";
const wchar_t kCannotRunMessage[] =
    L"次の監視対象ファイルは存在しないか、通常のファイルではないか、名前に二重引用符を含むか長すぎるため、"
    L"監視を開始できません。\n\n";
const wchar_t kSaveFailedMessage[] =
    L"監視ファイルの一覧を保存できませんでした。\n"
    L"一覧を保存せずに終了しますか？";
const wchar_t kSaveRefusedMessage[] =
    L"監視ファイルの一覧（Surveillance.txt）またはそのフォルダーが、リンクなど通常のファイル・"
    L"フォルダーではないため、保存しませんでした。\n"
    L"一覧を保存せずに終了しますか？";

char g_startCommand[kStartCommandSize];

// Whether path (UTF-8) is a full path to an existing file that is not a
// folder: a monitor started on anything else would end at once, unseen.
bool NamesRegularFile(const char* path) {
  bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
               path[2] == '\\';
  bool share = path[0] == '\\' && path[1] == '\\';
  if (!drive && !share) return false;
  DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

BEGIN_MESSAGE_MAP(CKestrinDlg, CDialogEx)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_WM_DROPFILES()
  ON_BN_CLICKED(IDOK, OnStart)
  ON_BN_CLICKED(IDC_CLEAR, OnClear)
  ON_WM_NCPAINT()
  ON_NOTIFY(NM_DBLCLK, IDC_LIST, OnDblclkList)
  ON_BN_CLICKED(IDCANCEL, OnExit)
  ON_BN_CLICKED(IDC_STOP, OnStop)
  ON_WM_CTLCOLOR()
  ON_BN_CLICKED(IDC_ARRANGE, OnArrange)
END_MESSAGE_MAP(CDialogEx)

CKestrinDlg::CKestrinDlg(CWnd* parent) : CDialogEx(IDD_KESTRIN_DIALOG, parent) {}

void CKestrinDlg::DoDataExchange(CDataExchange* exchange) {
  CDialogEx::DoDataExchange(exchange);
  DDX_Control(exchange, IDC_LIST, m_list);
  DDX_Control(exchange, IDOK, m_start);
  DDX_Control(exchange, IDC_STOP, m_stop);
  DDX_Control(exchange, IDCANCEL, m_exit);
  DDX_Control(exchange, IDC_CLEAR, m_clear);
  DDX_Control(exchange, IDC_ARRANGE, m_arrange);
}

BOOL CKestrinDlg::OnInitDialog() {
  CDialogEx::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  m_rowCount = g_keyCounter;
  while (m_list.DeleteColumn(0)) {
  }
  m_list.DeleteAllItems();
  m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP |
                          LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE);
  m_list.InsertColumn(0, L"番号", LVCFMT_CENTER, 40, 0);
  m_list.InsertColumn(1, L"監視対象ファイル名", LVCFMT_LEFT, 600, 1);
  RefillList();

  // An unknown folder, or one too long for the program's name, leaves the
  // path empty: Start then says so rather than run a program found elsewhere.
  const char* folder = ExecutableFolder();
  int length = std::snprintf(m_monitorProgramPath, sizeof m_monitorProgramPath, "%sMURVEX.exe", folder);
  if (folder[0] == '\0' || length < 0 || static_cast<size_t>(length) >= sizeof m_monitorProgramPath) {
    m_monitorProgramPath[0] = '\0';
  }

  ApplyButtonStates(Mode::kIdle);
  return TRUE;
}

void CKestrinDlg::ApplyButtonStates(Mode mode) {
  bool idle = mode == Mode::kIdle;
  m_start.EnableWindow(idle);
  m_stop.EnableWindow(!idle);
  m_arrange.EnableWindow(!idle);
  m_exit.EnableWindow(idle);
  m_clear.EnableWindow(idle);
}

void CKestrinDlg::InsertRow(int row, int key, const char* path) {
  m_list.InsertItem(row, DecimalKey(key + 1));
  m_list.SetItemText(row, 1, path);
  m_list.EnsureVisible(row, FALSE);
}

void CKestrinDlg::RefillList() {
  m_list.DeleteAllItems();
  int row = 0;
  for (int key = 0; key < g_keyCounter; ++key) {
    const char* path = TableFind(DecimalKey(key));
    if (path == nullptr) continue;
    InsertRow(row, key, path);
    ++row;
  }
  m_rowCount = row;
}

void CKestrinDlg::AddFile(const char* path) {
  int key = AddToWatchList(path);
  InsertRow(m_rowCount, key, path);
  ++m_rowCount;
}

CKestrinDlg::DroppedName CKestrinDlg::DroppedPath(HDROP drop, UINT index, char* path, size_t size) {
  UINT length = DragQueryFileW(drop, index, nullptr, 0);
  std::wstring wide(length + 1, L'\0');
  DragQueryFileW(drop, index, &wide[0], length + 1);
  wide.resize(length);
  // By its own name, so that a drive root (which the file search cannot
  // find) or a folder the code page cannot name is a folder too.
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return DroppedName::kFolder;
  }
  std::string utf8 = Utf8FromWide(wide.c_str());
  if (utf8.empty() || utf8.size() >= size) return DroppedName::kTooLong;
  // Gone since the drop, held without sharing, or not ours to read.
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return DroppedName::kCannotOpen;
  CloseHandle(file);
  std::memcpy(path, utf8.c_str(), utf8.size() + 1);
  return DroppedName::kUsable;
}

void CKestrinDlg::OnDropFiles(HDROP drop) {
  if (g_monitoringFlag != 1) {
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    char path[kPathBufferSize];
    if (count == 1) {
      DroppedName name = DroppedPath(drop, 0, path, sizeof path);
      if (name == DroppedName::kFolder) {
        // ignored without a word
      } else if (name == DroppedName::kTooLong) {
        MessageBox(kNameTooLongMessage, kMessageCaption, MB_OK);
      } else if (name == DroppedName::kCannotOpen) {
        MessageBox(kCannotOpenMessage, kMessageCaption, MB_OK);
      } else if (IsListed(path)) {
        // nothing to add, nothing to say
      } else if (IsTextFile(path) == 1) {
        AddFile(path);
      } else {
        MessageBox(kNotTextMessage, kMessageCaption, MB_OK);
      }
    } else {
      for (UINT i = 0; i < count; ++i) {
        if (DroppedPath(drop, i, path, sizeof path) != DroppedName::kUsable) continue;
        if (IsListed(path) || IsTextFile(path) != 1) continue;
        AddFile(path);
      }
    }
  }
  DragFinish(drop);
}

void CKestrinDlg::OnDblclkList(NMHDR* header, LRESULT* result) {
  (void)header;
  *result = 0;
  if (g_monitoringFlag == 1 || m_list.GetItemCount() == 0) return;
  int row = m_list.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0) return;
  char number[16];  // any row number
  m_list.GetItemText(row, 0, number, sizeof number);
  int key = std::atoi(number) - 1;
  TableRemove(DecimalKey(key));
  RefillList();
  m_list.EnsureVisible(row, FALSE);
}

void CKestrinDlg::OnClear() {
  if (g_monitoringFlag == 1) return;
  m_list.DeleteAllItems();
  TableClear();
  g_keyCounter = 0;
  m_rowCount = 0;
}

void CKestrinDlg::OnStart() {
  if (g_keyCounter == 0 || g_monitoringFlag == 1) return;
  if (m_monitorProgramPath[0] == '\0') {
    MessageBox(kNoMonitorProgramMessage, kMessageCaption, MB_OK | MB_ICONERROR);
    return;
  }
  // Entries that cannot run are named, all in one message; the others start.
  // An entry runs when it names an existing file and reaches the monitor as
  // one whole path (no double quote, not too long for the command line).
  struct Starts {
    const char* program;
    std::wstring cannotRun;
  } starts{m_monitorProgramPath, std::wstring()};
  TableWalk(
      [](const char*, const char* path, int, void* context) {
        Starts* s = static_cast<Starts*>(context);
        if (!NamesRegularFile(path) || FormatStartCommand(g_startCommand, sizeof g_startCommand, s->program, path) != 0) {
          s->cannotRun += WideFromUtf8(path) + L"\n";
        }
        return 1;
      },
      &starts);
  if (!starts.cannotRun.empty()) {
    MessageBox((kCannotRunMessage + starts.cannotRun).c_str(), kMessageCaption, MB_OK | MB_ICONWARNING);
  }
  g_monitoringFlag = 1;
  ApplyButtonStates(Mode::kMonitoring);
  TableWalk(
      [](const char*, const char* path, int, void* context) {
        if (!NamesRegularFile(path)) return 1;
        const char* program = static_cast<const char*>(context);
        // Minimised without activation: the console host keeps such a
        // console for itself instead of handing it to a terminal program,
        // and the monitor restores its window as its first step.
        if (FormatStartCommand(g_startCommand, sizeof g_startCommand, program, path) != 0) return 1;
        RunCommand(g_startCommand, SW_SHOWMINNOACTIVE);
        Sleep(kPauseBetweenStartsMs);
        return 1;
      },
      m_monitorProgramPath);
}

void CKestrinDlg::OnStop() {
  // Start comes back only once the task-kill has ended, however long it
  // takes, so monitors started right after are never ended by this Stop. The
  // window answers meanwhile with every button off, and monitoring mode keeps
  // the list and Exit locked until the monitors are gone.
  if (m_stopping) return;
  m_stopping = true;
  for (CButton* button : {&m_start, &m_stop, &m_arrange, &m_exit, &m_clear}) button->EnableWindow(FALSE);
  // The system's own task-kill: never a program planted along PATH or
  // beside the manager.
  // Both in UTF-8, the runner's form of a command.
  wchar_t wideFolder[MAX_PATH];
  UINT length = GetSystemDirectoryW(wideFolder, MAX_PATH);
  std::string systemFolder = length == 0 || length >= MAX_PATH ? std::string() : Utf8FromWide(wideFolder);
  // Only this user's monitors: an elevated manager may end anyone's.
  wchar_t wideUser[257];  // UNLEN and its NUL
  DWORD userLength = 257;
  std::string userName = GetUserNameW(wideUser, &userLength) ? Utf8FromWide(wideUser) : std::string();
  char command[kCommandLineSize];
  if (FormatStopCommand(command, sizeof command, systemFolder.c_str(), userName.c_str()) == 0) RunCommandAndWait(command, 0, INFINITE);
  m_stopping = false;
  g_monitoringFlag = 0;
  ApplyButtonStates(Mode::kIdle);
}

void CKestrinDlg::OnArrange() { ArrangeMonitorWindows(g_keyCounter); }

void CKestrinDlg::OnExit() {
  // Escape (pressed since the last query) never closes the dialog.
  if (GetAsyncKeyState(VK_ESCAPE) & 1) return;
  if (g_monitoringFlag == 1) return;
  // A list refused at start is never saved over; the user was told then.
  int saved = g_watchListRefused ? 0 : SaveWatchList(g_watchListPath);
  if (saved != 0) {
    // The old list file is intact; the user chooses to stay or to leave.
    const wchar_t* message = saved == kNotPlainFile ? kSaveRefusedMessage : kSaveFailedMessage;
    if (MessageBox(message, kMessageCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
  }
  OnCancel();
}

void CKestrinDlg::OnPaint() {
  if (!IsIconic()) {
    CDialogEx::OnPaint();
    return;
  }
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  int iconWidth = GetSystemMetrics(SM_CXICON);
  int iconHeight = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(&client);
  int x = (client.right - client.left - iconWidth + 1) / 2;
  int y = (client.bottom - client.top - iconHeight + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &paint);
}

HCURSOR CKestrinDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CKestrinDlg::OnNcPaint() {
  RECT frame;
  GetWindowRect(&frame);
  int width = frame.right - frame.left - 36;
  int height = frame.bottom - frame.top - 110;
  m_list.SetWindowPos(HWND_TOP, 10, 60, width > 0 ? width : 0, height > 0 ? height : 0, SWP_SHOWWINDOW);
  SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  CDialogEx::OnNcPaint();
}

HBRUSH CKestrinDlg::OnCtlColor(HDC dc, HWND control, UINT kind) {
  SetBkMode(dc, TRANSPARENT);
  if (kind == CTLCOLOR_DLG) return g_backgroundBrush;
  if (kind == CTLCOLOR_STATIC) {
    int id = GetDlgCtrlID(control);
    if (id == IDC_HINT_ADD || id == IDC_HINT_REMOVE) {
      SetTextColor(dc, kHintTextColour);
      return g_backgroundBrush;
    }
    if (id == IDC_HINT_MONITORING) {
      SetTextColor(dc, kMonitoringHintColour);
      return g_backgroundBrush;
    }
  }
  return CDialogEx::OnCtlColor(dc, control, kind);
}
