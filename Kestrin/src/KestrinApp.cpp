#include "KestrinApp.h"

#include <cstdio>
#include <cstdlib>

#include "Arrangement.h"
#include "DataFolder.h"
#include "KestrinDlg.h"
#include "KeyedTextTable.h"
#include "MonitorPlatform.h"
#include "WatchList.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CKestrinApp, CWinApp)
END_MESSAGE_MAP(CWinApp)

bool PrepareWatchListPath() {
  const char* folder = SetupDataFolder();
  if (folder == nullptr) {
    const wchar_t* reason = std::getenv("ProgramData") == nullptr
                                ? L"環境変数 ProgramData が設定されていないため、起動できません。"
                                : L"環境変数 ProgramData のフォルダー名が長すぎるため、起動できません。";
    ::MessageBoxW(nullptr, reason, L"Kestrin64", MB_OK | MB_ICONERROR);
    return false;
  }
  // FormatDataFolder has made sure this fits.
  std::snprintf(g_watchListPath, sizeof g_watchListPath, "%s\\%s", folder, "Surveillance.txt");
  return true;
}

BOOL CKestrinApp::InitInstance() {
  // One manager per logon session; the handle stays open until the end.
  HANDLE mutex = ::CreateMutexA(nullptr, TRUE, "Kestrin");
  if (mutex == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) return FALSE;

  CWinApp::InitInstance();
  // The text-file test reads through the monitor's file services; the
  // manager has no console for its messages.
  SetPlatform(MonitorPlatform{&NativeFileSystem(), nullptr, nullptr});
  if (!PrepareWatchListPath()) return FALSE;
  LoadWatchList(g_watchListPath);

  RECT screen;
  ::GetWindowRect(::GetDesktopWindow(), &screen);
  ComputeCellTable(screen.right, screen.bottom);

  CKestrinDlg* dialog = new CKestrinDlg();
  dialog->m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
  m_pMainWnd = dialog;
  dialog->DoModal();

  TableClear();
  m_pMainWnd = nullptr;
  delete dialog;
  return FALSE;
}
