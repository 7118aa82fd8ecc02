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
    ::MessageBoxW(nullptr, reason, kMessageCaption, MB_OK | MB_ICONERROR);
    return false;
  }
  // FormatDataFolder has made sure this fits.
  std::snprintf(g_watchListPath, sizeof g_watchListPath, "%s\\%s", folder, kWatchListFileName);
  return true;
}

bool ReadWatchListAtStart() {
  // Held for a moment by a backup or synchronisation tool, as a rule: the
  // user can wait and try again.
  int loaded;
  while ((loaded = LoadWatchList(g_watchListPath)) != 0) {
    if (loaded == kNotPlainFile) {
      // Planted, as a rule: another user's link or junction. Said once; the
      // manager runs with an empty list and never writes there.
      ::MessageBoxW(nullptr,
                    L"監視ファイルの一覧（Surveillance.txt）またはそのフォルダーが、リンクなど通常のファイル・"
                    L"フォルダーではないため、読み込みませんでした。\n"
                    L"一覧は空で始まり、終了しても保存しません。",
                    kMessageCaption, MB_OK | MB_ICONWARNING);
      g_watchListRefused = true;
      return true;
    }
    int answer = ::MessageBoxW(nullptr,
                               L"監視ファイルの一覧（Surveillance.txt）を読み込めませんでした。\n"
                               L"他のプログラムが使用している可能性があります。\n\n"
                               L"［再試行］でもう一度読み込み、［キャンセル］で終了します。",
                               kMessageCaption, MB_RETRYCANCEL | MB_ICONERROR);
    if (answer != IDRETRY) return false;
  }
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
  // Never a dialog over a list it could not read: its Exit would save
  // nothing over the user's list.
  if (!PrepareWatchListPath() || !ReadWatchListAtStart()) return FALSE;

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
