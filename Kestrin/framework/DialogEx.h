// A modal dialog built from a dialog template resource. Messages reach the
// handlers of the derived class's message map; controls are bound in
// DoDataExchange when the dialog initialises.
#pragma once

#include <windows.h>

#include "Controls.h"
#include "MessageMap.h"
#include "Window.h"

class CDialogEx : public CWnd {
 public:
  explicit CDialogEx(UINT templateId, CWnd* parent = nullptr) : m_templateId(templateId), m_pParentWnd(parent) {}

  // Creates the dialog, runs its modal loop and returns the code it was ended
  // with (IDOK, IDCANCEL ...), or -1 when it could not be created.
  virtual INT_PTR DoModal();
  void EndDialog(int result);

 protected:
  // Binds the controls (DoDataExchange); 1 lets the system set the focus.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* exchange) { (void)exchange; }
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  // Base answers: the system's default handling.
  void OnPaint() { Default(); }
  void OnNcPaint() { Default(); }
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind) {
    (void)dc, (void)control, (void)kind;
    Default();
    return nullptr;
  }

  UINT m_templateId;
  CWnd* m_pParentWnd;

  DECLARE_MESSAGE_MAP()

 private:
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
