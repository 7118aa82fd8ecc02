#include "DialogEx.h"

#include "WinApp.h"

BEGIN_MESSAGE_MAP(CDialogEx, CWnd)
  ON_BN_CLICKED(IDOK, OnOK)
  ON_BN_CLICKED(IDCANCEL, OnCancel)
END_MESSAGE_MAP(CWnd)

INT_PTR CDialogEx::DoModal() {
  HWND parent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(m_templateId), parent, DialogProcedure,
                                     reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

void CDialogEx::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialogEx::UpdateData(BOOL saveAndValidate) {
  CDataExchange exchange(this, saveAndValidate);
  DoDataExchange(&exchange);
  return TRUE;
}

BOOL CDialogEx::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

INT_PTR CALLBACK CDialogEx::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    CDialogEx* dialog = reinterpret_cast<CDialogEx*>(lParam);
    ::SetWindowLongPtrA(window, DWLP_USER, lParam);
    dialog->m_hWnd = window;
    return dialog->OnInitDialog();
  }
  CDialogEx* dialog = reinterpret_cast<CDialogEx*>(::GetWindowLongPtrA(window, DWLP_USER));
  if (dialog == nullptr) return FALSE;  // messages before WM_INITDIALOG

  LRESULT result = 0;
  if (!dialog->DispatchMessageMap(message, wParam, lParam, &result)) return FALSE;

  // These messages return their answer directly rather than through
  // DWLP_MSGRESULT.
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_QUERYDRAGICON:
      return static_cast<INT_PTR>(result);
    default:
      ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
      return TRUE;
  }
}
