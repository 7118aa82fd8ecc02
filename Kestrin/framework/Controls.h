// Thin wrappers of the controls and GDI objects the dialog binds, and the
// binding of control objects to control ids.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "Window.h"

class CButton : public CWnd {};

// A report-style list view. Texts are UTF-8 (the manager's paths), shown
// in UTF-16.
class CListCtrl : public CWnd {
 public:
  BOOL DeleteColumn(int column) const { return static_cast<BOOL>(SendMessage(LVM_DELETECOLUMN, column)); }
  BOOL DeleteAllItems() const { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
  DWORD GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
  DWORD SetExtendedStyle(DWORD style) const {
    return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
  }
  int InsertColumn(int column, const wchar_t* heading, int format, int width, int subItem) const;
  int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
  int GetNextItem(int start, UINT flags) const {
    return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
  }
  // Text of one cell into buffer (size bytes with the terminator).
  int GetItemText(int item, int subItem, char* buffer, int size) const;
  int InsertItem(int item, const char* text) const;
  BOOL SetItemText(int item, int subItem, const char* text) const;
  BOOL EnsureVisible(int item, BOOL partialOk) const {
    return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, item, partialOk));
  }
};

class CBrush {
 public:
  CBrush() = default;
  CBrush(const CBrush&) = delete;
  CBrush& operator=(const CBrush&) = delete;
  ~CBrush() { DeleteObject(); }
  BOOL CreateSolidBrush(COLORREF colour);
  void DeleteObject();
  operator HBRUSH() const { return m_hBrush; }
  HBRUSH m_hBrush = nullptr;
};

// Direction of a data exchange; the manager only binds controls.
class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};

// Binds control to the dialog's child with this id (once).
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);
