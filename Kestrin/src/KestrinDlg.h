// The manager's main dialog: the watch list in a list view, files added by
// drag and drop and removed by double-click, and the buttons that start,
// stop and arrange the console monitors.
#pragma once

#include "DoubleByteText.h"
#include "Framework.h"

// The caption of every message box of the manager.
constexpr wchar_t kMessageCaption[] = L"Kestrin64";

class CKestrinDlg : public CDialogEx {
 public:
  explicit CKestrinDlg(CWnd* parent = nullptr);

  HICON m_hIcon = nullptr;  // icon 128, loaded by the application

  // Row with the number key + 1 and the path at row index; made visible.
  void InsertRow(int row, int key, const char* path);
  // Rebuilds the rows from the watch list in ascending key order.
  void RefillList();

  // "<executable folder>MURVEX.exe"; empty when the folder is unknown (not
  // exactly in the code page, too long) or that would not fit.
  const char* MonitorProgramPath() const { return m_monitorProgramPath; }
  int RowCount() const { return m_rowCount; }

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* exchange) override;

  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnDropFiles(HDROP drop);
  void OnStart();
  void OnClear();
  void OnNcPaint();
  void OnDblclkList(NMHDR* header, LRESULT* result);
  void OnExit();
  void OnStop();
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);
  void OnArrange();

  DECLARE_MESSAGE_MAP()

 private:
  enum class Mode { kIdle, kMonitoring };
  void ApplyButtonStates(Mode mode);
  // The dropped item's path in UTF-8, or why there is none: a folder, too
  // long for a path buffer, or a file that cannot be opened for reading.
  enum class DroppedName { kUsable, kFolder, kTooLong, kCannotOpen };
  DroppedName DroppedPath(HDROP drop, UINT index, char* path, size_t size);
  void AddFile(const char* path);

  CListCtrl m_list;
  CButton m_start, m_stop, m_exit, m_clear, m_arrange;
  int m_rowCount = 0;
  bool m_stopping = false;  // while Stop waits for the task-kill
  char m_monitorProgramPath[kPathBufferSize] = "";
};

// The dialog's background, created before the dialog and kept for the
// process's life.
extern CBrush g_backgroundBrush;
